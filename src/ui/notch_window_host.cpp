#include "ui/notch_window_host.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "ui/image_canvas.h"
#include "ui/notch_metrics.h"

namespace ebbwise::ui {

namespace {

// Room below the notch for the line, the labels and the pointer's slack.
constexpr double kBelowNotch = 16;
constexpr double kSnapshotScale = 2;

}  // namespace

std::unique_ptr<NotchWindowHost> NotchWindowHost::open(sys::RunLoop& loop, SdlSession& session,
                                                       const sys::Clock& clock, Options options,
                                                       std::string& error) {
  std::unique_ptr<NotchWindowHost> host(
      new NotchWindowHost(loop, session, clock, std::move(options.fonts)));
  host->window_ = ShapedWindow::create({"Ebbwise notch", {0, 0, 1, 1}, false}, error);
  if (!host->window_) return nullptr;
  NotchWindowHost* self = host.get();
  session.listen(host->window_->id(), [self](const SDL_Event& e) { self->handle(e); });
  host->setScreens(std::move(options.screens));
  return host;
}

NotchWindowHost::NotchWindowHost(sys::RunLoop& loop, SdlSession& session, const sys::Clock& clock,
                                 FontFamilies fonts)
    : loop_(loop), session_(session), clock_(clock), fonts_(std::move(fonts)) {
  controller_ = std::make_unique<NotchController>(
      loop_,
      NotchController::Callbacks{[this] { scheduleRedraw(); },
                                 [this](const std::string& path, const std::string& description) {
                                   writeSnapshot(path, description);
                                 }});
}

NotchWindowHost::~NotchWindowHost() {
  *alive_ = false;
  if (frameTimer_) loop_.cancel(*frameTimer_);
  controller_.reset();
  if (window_) session_.forget(window_->id());
}

double NotchWindowHost::now() const {
  return clock_.now().secondsSinceReferenceDate();
}

bool NotchWindowHost::setScreens(std::vector<ScreenDescription> screens) {
  screens_ = std::move(screens);
  relayout();
  return controller_->hasWindow();
}

void NotchWindowHost::relayout() {
  if (!controller_->layout(screens_)) {
    window_->hide();
    keepFrames(false);
    return;
  }
  auto screen = std::find_if(screens_.begin(), screens_.end(),
                             [](const ScreenDescription& s) { return s.topLeftArea.has_value(); });
  mapping_ = ScreenMapping::fit(screen->frame, controller_->notchRect(), session_.screenWidth(),
                                session_.screenHeight());
  scheduleRedraw();
}

void NotchWindowHost::setInput(const NotchViewInput& input) {
  if (input == input_) return;
  input_ = input;
  scheduleRedraw();
}

void NotchWindowHost::setPanelContents(PanelContents contents) {
  panel_ = std::move(contents);
  scheduleRedraw();
}

void NotchWindowHost::setPanelContentHeight(double height) {
  if (!std::isfinite(height) || height <= 0) return;
  if (height == controller_->state().panelContentHeight) return;
  controller_->setPanelContentHeight(height);
}

void NotchWindowHost::setMenuOpen(bool open) {
  controller_->setMenuOpen(open);
}

void NotchWindowHost::requestSnapshot(const std::string& path) {
  controller_->debugSnapshot(path);
}

void NotchWindowHost::scheduleRedraw() {
  if (redrawPending_) return;
  redrawPending_ = true;
  loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
    auto token = alive.lock();
    if (!token || !*token) return;
    redrawPending_ = false;
    redraw();
  });
}

PixelRect NotchWindowHost::wantedFrame(const NotchMotion& motion) const {
  const NotchState& state = controller_->state();
  // Tall enough for the panel while it is open or on its way; just the notch
  // otherwise, so a resting or sweeping notch draws few pixels.
  bool tall = state.isOpen || state.isPreparing || motion.openness > 0.001;
  double height = state.notchSize.height + kBelowNotch;
  if (tall) height += std::min(state.panelContentHeight, state.maxPanelHeight);
  const Rect& notch = controller_->notchRect();
  double midX = notch.x + notch.width / 2;
  return mapping_.toPixels(Rect{midX - NotchMetrics::windowWidth / 2,
                                controller_->screenTop() - height, NotchMetrics::windowWidth,
                                height});
}

void NotchWindowHost::redraw() {
  if (!controller_->hasWindow()) return;
  double t = now();
  const NotchState& state = controller_->state();
  animator_.update(state, input_, t);
  NotchMotion motion = animator_.at(t);
  PixelRect frame = wantedFrame(motion);
  window_->setFrame(frame);

  double scale = mapping_.scale;
  // The same picture is drawn over frame after frame while the size holds.
  if (!image_ || image_->pixelWidth() != frame.width || image_->pixelHeight() != frame.height ||
      imageScale_ != scale) {
    image_ = std::make_unique<ImageCanvas>(frame.width, frame.height, scale, fonts_);
    imageScale_ = scale;
  } else {
    image_->clear();
  }
  ImageCanvas& image = *image_;
  Canvas& canvas = image.canvas();
  // The notch's top centre, in points from the window's top left.
  canvas.translate((mapping_.pixelWidth / 2.0 - frame.x) / scale, -frame.y / scale);
  NotchView::draw(canvas, input_, state, motion, panel_);
  window_->show();
  window_->present(image);
  ++frames_;

  PixelRect hover = mapping_.toPixels(controller_->hoverRegion());
  window_->setInputRegion(
      {PixelRect{hover.x - frame.x, hover.y - frame.y, hover.width, hover.height}});
  keepFrames(animator_.isMoving(t) || animator_.isSweeping());
}

void NotchWindowHost::keepFrames(bool needed) {
  if (needed == frameTimer_.has_value()) return;
  if (!needed) {
    loop_.cancel(*frameTimer_);
    frameTimer_.reset();
    return;
  }
  frameTimer_ =
      loop_.scheduleRepeating(1.0 / NotchAnimator::sweepFrameRate, 0, [this] { redraw(); });
}

Point NotchWindowHost::panelPoint(int px, int py) const {
  // The notch's top centre is the view's origin; the panel starts below the
  // notch, centred on it.
  const PixelRect& frame = window_->frame();
  double x = (frame.x + px - mapping_.pixelWidth / 2.0) / mapping_.scale;
  double y = (frame.y + py) / mapping_.scale;
  return Point{x + NotchMetrics::panelWidth / 2, y - controller_->state().notchSize.height};
}

void NotchWindowHost::pointerAt(int px, int py) {
  controller_->mouseMoved(mapping_.toScreen(px, py));
}

void NotchWindowHost::handle(const SDL_Event& event) {
  const PixelRect& frame = window_->frame();
  switch (event.type) {
    case SDL_MOUSEMOTION:
      pointerAt(frame.x + event.motion.x, frame.y + event.motion.y);
      if (panelHover_ && controller_->state().isOpen) {
        panelHover_(panelPoint(event.motion.x, event.motion.y));
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT && panelClick_ && controller_->state().isOpen) {
        panelClick_(panelPoint(event.button.x, event.button.y));
      }
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_LEAVE) {
        auto [x, y] = session_.pointer();
        pointerAt(x, y);
        if (panelHover_) panelHover_(std::nullopt);
      } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        scheduleRedraw();
      }
      break;
    default:
      break;
  }
}

void NotchWindowHost::writeSnapshot(const std::string& path, const std::string& description) {
  // A developer's aid: failures to write are of no consequence to the app.
  const NotchState& state = controller_->state();
  NotchMotion motion = NotchMotion::resting(state, input_);
  motion.sweepPhase = now() / ChargingSweep::cycle;
  double height = state.notchSize.height + kBelowNotch +
                  std::min(state.panelContentHeight, state.maxPanelHeight);
  ImageCanvas image(Size{NotchMetrics::windowWidth, height}, kSnapshotScale, fonts_);
  image.canvas().translate(NotchMetrics::windowWidth / 2, 0);
  NotchView::draw(image.canvas(), input_, state, motion, panel_);
  image.writePng(path);
  std::string temporary = path + ".txt.partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << description;
    if (!out) return;
  }
  std::rename(temporary.c_str(), (path + ".txt").c_str());
}

}  // namespace ebbwise::ui
