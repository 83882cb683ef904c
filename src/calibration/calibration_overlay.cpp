#include "calibration/calibration_overlay.h"

#include <utility>

namespace ebbwise {

CalibrationOverlay::CalibrationOverlay(sys::Windows& windows, std::function<void()> requestStop)
    : windows_(windows),
      requestStop_(std::make_shared<std::function<void()>>(std::move(requestStop))) {}

CalibrationOverlay::~CalibrationOverlay() {
  close();
  *requestStop_ = nullptr;
}

sys::ScreenRect CalibrationOverlay::frame(std::optional<sys::ScreenRect> screen) {
  sys::ScreenRect s = screen.value_or(sys::ScreenRect{});
  double centreX = s.x + s.width / 2;
  double centreY = s.y + s.height / 2;
  return {centreX - kWidth / 2, centreY - kHeight / 2, kWidth, kHeight};
}

void CalibrationOverlay::show(const sys::CalibrationMessageContent& content) {
  close();
  sys::KeyPanelOptions options;
  options.frame = frame(windows_.mainScreenFrame());
  options.level = kLevel;
  options.collectionBehavior = kCollectionBehavior;
  options.opaque = false;
  std::weak_ptr<std::function<void()>> stop = requestStop_;
  auto requestStop = [stop] {
    if (auto f = stop.lock(); f && *f) (*f)();
  };
  panel_ = windows_.showKeyPanel(options, content, requestStop);
  keyMonitor_ = windows_.addLocalKeyDownMonitor([requestStop](std::uint16_t keyCode) {
    if (keyCode != kEscapeKeyCode) return false;
    requestStop();
    return true;
  });
}

void CalibrationOverlay::update(const sys::CalibrationMessageContent& content) {
  if (panel_) panel_->setContent(content);
}

void CalibrationOverlay::close() {
  if (keyMonitor_) windows_.removeMonitor(std::exchange(keyMonitor_, 0));
  if (panel_) std::exchange(panel_, nullptr)->orderOut();
}

}  // namespace ebbwise
