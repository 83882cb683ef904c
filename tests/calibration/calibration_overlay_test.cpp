#include "calibration/calibration_overlay.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace ebbwise {
namespace {

// A window server that records what it was asked to do.
struct FakeWindows final : sys::Windows {
  struct Panel final : sys::KeyPanel {
    explicit Panel(FakeWindows& owner) : owner(owner) {}
    ~Panel() override { orderOut(); }
    void setContent(const sys::CalibrationMessageContent& c) override { owner.content = c; }
    void orderOut() override {
      if (owner.shown) ++owner.orderedOut;
      owner.shown = false;
    }
    FakeWindows& owner;
  };

  std::optional<sys::ScreenRect> mainScreenFrame() override { return screen; }
  std::unique_ptr<sys::KeyPanel> showKeyPanel(const sys::KeyPanelOptions& o,
                                              const sys::CalibrationMessageContent& c,
                                              std::function<void()> stop) override {
    options = o;
    content = c;
    stopButton = std::move(stop);
    shown = true;
    return std::make_unique<Panel>(*this);
  }
  sys::KeyMonitorID addLocalKeyDownMonitor(sys::KeyDownHandler handler) override {
    monitors[++lastID] = std::move(handler);
    return lastID;
  }
  void removeMonitor(sys::KeyMonitorID id) override { monitors.erase(id); }

  // Whether the key got past the monitors.
  bool press(std::uint16_t key) {
    for (auto& [id, handler] : monitors) {
      if (handler(key)) return false;
    }
    return true;
  }

  std::optional<sys::ScreenRect> screen = sys::ScreenRect{0, 0, 1512, 982};
  sys::KeyPanelOptions options;
  sys::CalibrationMessageContent content;
  std::function<void()> stopButton;
  bool shown = false;
  int orderedOut = 0;
  std::map<sys::KeyMonitorID, sys::KeyDownHandler> monitors;
  sys::KeyMonitorID lastID = 0;
};

TEST(CalibrationOverlayTest, ShowsAKeyPanelAboveEverythingInTheMiddleOfTheMainScreen) {
  FakeWindows windows;
  CalibrationOverlay overlay(windows, [] {});
  overlay.show({"Changing the brightness step by step", 0.62, 57, 0});
  EXPECT_TRUE(overlay.isShown());
  EXPECT_EQ(windows.options.frame, (sys::ScreenRect{566, 416, 380, 150}));
  EXPECT_EQ(windows.options.level, 1000);
  EXPECT_EQ(windows.options.collectionBehavior, 0x101u);
  EXPECT_FALSE(windows.options.opaque);
  overlay.update({"Changing the brightness step by step", 0.62, 41, 0.4});
  EXPECT_EQ(windows.content.secondsLeft, 41);

  windows.screen.reset();
  overlay.show({});
  EXPECT_EQ(windows.options.frame, (sys::ScreenRect{-190, -75, 380, 150}))
      << "without a screen the panel sits on the origin";
}

TEST(CalibrationOverlayTest, EscAndStopAskToStopAndOnlyEscIsSwallowed) {
  FakeWindows windows;
  int stops = 0;
  CalibrationOverlay overlay(windows, [&] { ++stops; });
  overlay.show({});
  EXPECT_TRUE(windows.press(0)) << "other keys reach their window";
  EXPECT_EQ(stops, 0);
  EXPECT_FALSE(windows.press(CalibrationOverlay::kEscapeKeyCode));
  EXPECT_EQ(stops, 1);
  windows.stopButton();
  EXPECT_EQ(stops, 2);

  overlay.close();
  EXPECT_TRUE(windows.monitors.empty());
  EXPECT_TRUE(windows.press(CalibrationOverlay::kEscapeKeyCode)) << "closed: Esc is not ours";
  windows.stopButton();  // a click that was already on its way
  EXPECT_EQ(stops, 3) << "the button still reaches a live run";
}

TEST(CalibrationOverlayTest, ClosingTwiceOrWithoutAWindowIsHarmless) {
  FakeWindows windows;
  int stops = 0;
  {
    CalibrationOverlay overlay(windows, [&] { ++stops; });
    overlay.close();
    overlay.show({});
    overlay.close();
    overlay.close();
    EXPECT_EQ(windows.orderedOut, 1);
    EXPECT_FALSE(overlay.isShown());
    overlay.update({"late", std::nullopt, 1, 1});
    EXPECT_NE(windows.content.phase, "late") << "a closed panel is not redrawn";
  }
  windows.stopButton();
  EXPECT_EQ(stops, 0) << "a click after the overlay is gone reaches nothing";

  sys::NoWindows headless;
  CalibrationOverlay overlay(headless, [] {});
  overlay.show({});
  EXPECT_FALSE(overlay.isShown());
  overlay.close();
}

}  // namespace
}  // namespace ebbwise
