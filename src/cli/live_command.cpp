#include "cli/live_command.h"

#include <csignal>
#include <memory>
#include <tuple>

#include "base/terminal_text.h"
#include "cli/simulated_app.h"
#include "face/panel_actions.h"
#include "face/panel_inputs.h"
#include "linux/system_clock.h"
#include "sys/real_run_loop.h"
#include "ui/calibration_overlay_window.h"
#include "ui/image_canvas.h"
#include "ui/notch_panel_view.h"
#include "ui/notch_window_host.h"
#include "ui/panel_window.h"
#include "ui/sdl_event_waiter.h"
#include "ui/sdl_session.h"

namespace ebbwise {

namespace {

// Real seconds between two steps of the simulated Mac: its ticks come every
// 5 simulated seconds, so this is often enough at any speed and costs next
// to nothing while nothing changes.
constexpr double kStep = 0.25;

// Set by the signal handler, the only thing a handler may safely touch;
// read at every step.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int) {
  stopSignal = 1;
}

Rect rect(const sys::CGRect& r) {
  return Rect{r.x, r.y, r.width, r.height};
}

std::vector<ui::ScreenDescription> describe(const std::vector<sys::ScreenInfo>& screens) {
  std::vector<ui::ScreenDescription> out;
  for (const sys::ScreenInfo& s : screens) {
    ui::ScreenDescription d{rect(s.frame), std::nullopt, std::nullopt, s.safeAreaTop};
    if (s.auxiliaryTopLeftArea) d.topLeftArea = rect(*s.auxiliaryTopLeftArea);
    if (s.auxiliaryTopRightArea) d.topRightArea = rect(*s.auxiliaryTopRightArea);
    out.push_back(d);
  }
  return out;
}

// The application and its windows on one real main loop. The simulated Mac
// runs on its own virtual loop, which this one moves on at every step; what
// the monitor published is drawn only when it changed.
class LiveApp {
 public:
  LiveApp(SimulatedApp& app, sys::RealRunLoop& loop, ui::SdlSession& session, double speed)
      : app_(app), loop_(loop), session_(session), speed_(speed) {}

  ~LiveApp() {
    if (stepTimer_) loop_.cancel(stepTimer_);
    sys::Screens& screens = app_.simulation().platform().screens;
    if (screensObserver_) screens.removeParametersObserver(screensObserver_);
  }

  bool start(bool panelWindow, std::string& error) {
    Monitor& monitor = app_.monitor();
    sys::Screens& screens = app_.simulation().platform().screens;
    notch_ = ui::NotchWindowHost::open(loop_, session_, clock_, {describe(screens.screens()), {}},
                                       error);
    if (!notch_) return false;
    screensObserver_ = screens.addParametersObserver([this] { screensChanged_ = true; });
    measurer_ = std::make_unique<ui::ImageCanvas>(1, 1, 1, notch_->fonts());
    notch_->setPanelClick([this](ui::Point p) {
      if (const ui::PanelHotspot* h = notchLayout_.actionAt(p)) act(*h, notchUi_);
    });
    // A help text shows while the pointer rests on its control; the panel is
    // drawn again only when the pointer comes onto or leaves one.
    notch_->setPanelHover([this](std::optional<ui::Point> p) {
      auto help = [this](const std::optional<ui::Point>& at) {
        return at ? notchLayout_.helpAt(*at) : nullptr;
      };
      bool changed = help(p) != help(notchUi_.pointer);
      notchUi_.pointer = p;
      if (changed) {
        ++uiChanges_;
        refresh(false);
      }
    });
    if (panelWindow) {
      panel_ = ui::PanelWindow::open(
          session_, notch_->fonts(),
          {[this](const ui::PanelHotspot& h) { act(h, panelUi_); }, [this] { loop_.stop(); }},
          error);
      if (!panel_) return false;
    }
    monitor.setHasNotch(notch_->hasNotch());
    refresh(true);
    stepTimer_ = loop_.scheduleRepeating(kStep, kStep / 4, [this] { step(); });
    return true;
  }

 private:
  void step() {
    if (stopSignal) return loop_.stop();
    app_.simulation().runFor(kStep * speed_);
    if (screensChanged_) {
      screensChanged_ = false;
      bool found = notch_->setScreens(describe(app_.simulation().platform().screens.screens()));
      app_.monitor().setHasNotch(found);
    }
    refresh(false);
  }

  // Builds the views' inputs again when the model or the panels' own state
  // changed since the last time.
  void refresh(bool force) {
    Monitor& monitor = app_.monitor();
    bool open = notch_->controller().state().isOpen || notch_->controller().state().isPreparing;
    if (open != panelOpen_) {
      panelOpen_ = open;
      monitor.setPanelOpen(open);
    }
    auto seen = std::make_tuple(monitor.changes, monitor.hardware().changes(), uiChanges_);
    if (!force && seen == seen_) return;
    seen_ = seen;

    sys::Date now = app_.simulation().loop().now();
    auto input = std::make_shared<const ui::PanelInput>(PanelInputs::panel(monitor, now));
    notch_->setInput(input->notch);
    notchLayout_ = ui::NotchPanelView::layout(measurer_->canvas(), *input, notchUi_);
    notch_->setPanelContentHeight(notchLayout_.height);
    notch_->setMenuOpen(notchUi_.menuOpen);
    notch_->setPanelContents([input, ui = notchUi_](ui::Canvas& canvas, ui::Size) {
      ui::NotchPanelView::draw(canvas, *input, ui);
    });
    if (panel_) panel_->setInput(input, panelUi_);
    showOverlay(monitor);
  }

  void showOverlay(Monitor& monitor) {
    std::optional<ui::CalibrationMessageInput> message = PanelInputs::overlay(monitor);
    if (!message) {
      if (overlay_ && overlay_->isShown()) overlay_->close();
      return;
    }
    if (!overlay_) {
      std::string error;
      overlay_ = ui::CalibrationOverlayWindow::open(
          session_, notch_->fonts(), notch_->mapping().scale,
          [this] { app_.monitor().hardware().requestStop(); }, error);
      if (!overlay_) return;  // the run goes on without its message
    }
    overlay_->show(*message);
  }

  void act(const ui::PanelHotspot& hotspot, ui::PanelUiState& ui) {
    if (PanelActions::perform(app_.startup(), hotspot, ui) == PanelActions::Outcome::quit) {
      loop_.stop();
      return;
    }
    ++uiChanges_;
    refresh(false);
  }

  SimulatedApp& app_;
  sys::RealRunLoop& loop_;
  ui::SdlSession& session_;
  double speed_;
  linux_host::SystemClock clock_;
  std::unique_ptr<ui::NotchWindowHost> notch_;
  std::unique_ptr<ui::PanelWindow> panel_;
  std::unique_ptr<ui::CalibrationOverlayWindow> overlay_;
  std::unique_ptr<ui::ImageCanvas> measurer_;
  ui::PanelUiState notchUi_;
  ui::PanelUiState panelUi_;
  ui::PanelLayout notchLayout_;
  std::uint64_t uiChanges_ = 0;
  std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> seen_;
  bool panelOpen_ = false;
  bool screensChanged_ = false;
  sys::ObserverID screensObserver_ = 0;
  sys::TaskID stepTimer_ = 0;
};

}  // namespace

CommandResult runLive(const CommandOptions& options, sys::Environment& host) {
  std::string error;
  std::unique_ptr<SimulatedApp> app = SimulatedApp::launch(options.report.scenario, host, error);
  if (!app) {
    return {CommandOptions::kUsageError, "", "ebbwise: " + TerminalText::printable(error) + "\n"};
  }
  if (auto refusal = app->startup().finishLaunching()) {
    return {CommandOptions::kFailure, "", refusal->text()};
  }

  auto waiter = std::make_unique<ui::SdlEventWaiter>();
  ui::SdlEventWaiter& events = *waiter;
  sys::RealRunLoop loop(std::move(waiter));
  std::unique_ptr<ui::SdlSession> session = ui::SdlSession::open(events, error);
  if (!session) {
    return {CommandOptions::kFailure, "",
            "ebbwise: can't show the notch display. " + TerminalText::printable(error) + "\n"};
  }
  CommandResult result;
  result.err = app->historyNotice();
  {
    LiveApp live(*app, loop, *session, options.face.speed);
    if (!live.start(options.face.panel, error)) {
      return {CommandOptions::kFailure, "",
              "ebbwise: can't show the notch display. " + TerminalText::printable(error) + "\n"};
    }
    for (const std::string& problem : ui::FontLibrary().problems()) {
      result.err += "ebbwise: " + problem + "\n";
    }
    if (options.report.calibrate) app->monitor().hardware().calibrateScreen();

    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction previousInt {
    }, previousTerm{};
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    loop.run();
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
  }
  app->monitor().willTerminate();
  return result;
}

}  // namespace ebbwise
