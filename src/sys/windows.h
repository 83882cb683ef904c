#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ebbwise::sys {

// A rectangle in the global screen space, in points; the origin is the
// bottom left of the main screen.
struct ScreenRect {
  double x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// What the calibration message says while a run goes on; the presentation
// composes its sentence and draws it, with a progress bar and a Stop button.
struct CalibrationMessageContent {
  std::string phase;                        // what the run does now
  std::optional<double> restoreBrightness;  // 0…1: where the brightness goes back to
  std::int64_t secondsLeft = 0;
  double progress = 0;  // 0…1
  friend bool operator==(const CalibrationMessageContent&,
                         const CalibrationMessageContent&) = default;
};

// A borderless panel that can become the key window, so that it receives
// keys although it has no title bar.
struct KeyPanelOptions {
  ScreenRect frame;
  std::int64_t level = 0;                // window level; higher is in front
  std::uint64_t collectionBehavior = 0;  // the platform's bit set
  bool opaque = false;
};

// One shown panel. Destroying it orders it out.
class KeyPanel {
 public:
  virtual ~KeyPanel() = default;
  // Redraws the panel's content.
  virtual void setContent(const CalibrationMessageContent& content) = 0;
  // Takes the panel off the screen; further calls do nothing.
  virtual void orderOut() = 0;
};

using KeyMonitorID = std::uint64_t;

// Handles a key-down event; true consumes it, false passes it on to the
// window it was meant for.
using KeyDownHandler = std::function<bool(std::uint16_t keyCode)>;

// The platform's windowing: panels and local key monitors, on the main
// thread only.
class Windows {
 public:
  virtual ~Windows() = default;

  // The main screen's frame; nothing when there is no screen.
  virtual std::optional<ScreenRect> mainScreenFrame() = 0;

  // Activates the application and shows a panel with `content`, key and in
  // front of every other window; `stopClicked` runs when its Stop button is
  // clicked. Null when no panel can be made (a machine without a display).
  virtual std::unique_ptr<KeyPanel> showKeyPanel(const KeyPanelOptions& options,
                                                 const CalibrationMessageContent& content,
                                                 std::function<void()> stopClicked) = 0;

  // Sees every key-down event sent to this application's windows first. 0
  // when the monitor cannot be installed.
  virtual KeyMonitorID addLocalKeyDownMonitor(KeyDownHandler handler) = 0;
  // Unknown ids are ignored.
  virtual void removeMonitor(KeyMonitorID id) = 0;
};

// No display at all: nothing can be shown and no keys arrive.
class NoWindows final : public Windows {
 public:
  std::optional<ScreenRect> mainScreenFrame() override { return std::nullopt; }
  std::unique_ptr<KeyPanel> showKeyPanel(const KeyPanelOptions&, const CalibrationMessageContent&,
                                         std::function<void()>) override {
    return nullptr;
  }
  KeyMonitorID addLocalKeyDownMonitor(KeyDownHandler) override { return 0; }
  void removeMonitor(KeyMonitorID) override {}
  static NoWindows& instance() {
    static NoWindows none;
    return none;
  }
};

}  // namespace ebbwise::sys
