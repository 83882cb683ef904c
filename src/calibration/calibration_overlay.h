#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "sys/windows.h"

namespace ebbwise {

// The message panel in the middle of the main screen for the whole
// calibration run. Esc (while it is shown) and its Stop button ask the run to
// stop; every other key passes on untouched.
class CalibrationOverlay {
 public:
  static constexpr double kWidth = 380;
  static constexpr double kHeight = 150;
  // Above everything, the notch panel and full-screen apps included.
  static constexpr std::int64_t kLevel = 1000;
  // Joins every Space, and full-screen ones as an auxiliary window.
  static constexpr std::uint64_t kCollectionBehavior = 0x101;
  static constexpr std::uint16_t kEscapeKeyCode = 53;

  CalibrationOverlay(sys::Windows& windows, std::function<void()> requestStop);
  ~CalibrationOverlay();
  CalibrationOverlay(const CalibrationOverlay&) = delete;
  CalibrationOverlay& operator=(const CalibrationOverlay&) = delete;

  // Shows the panel with `content` (again, after a close).
  void show(const sys::CalibrationMessageContent& content);
  // Brings a shown panel up to date; nothing while closed.
  void update(const sys::CalibrationMessageContent& content);
  // Removes the key monitor and the panel; a second call does nothing.
  void close();

  bool isShown() const { return panel_ != nullptr; }

  // The panel's frame: centred on the main screen, or on the origin when
  // there is none.
  static sys::ScreenRect frame(std::optional<sys::ScreenRect> screen);

 private:
  sys::Windows& windows_;
  // Shared with the key monitor and the Stop button, which may outlive a
  // shown panel on the platform side; they do nothing once it is cleared.
  std::shared_ptr<std::function<void()>> requestStop_;
  std::unique_ptr<sys::KeyPanel> panel_;
  sys::KeyMonitorID keyMonitor_ = 0;
};

}  // namespace ebbwise
