#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/monitor.h"
#include "history/store.h"
#include "sys/platform.h"

namespace ebbwise {

// The application's launch without its windows, in order: the settings
// carried over from the previous identity, the monitor (its first tick and
// timers), then, once launching finishes, the notch check that turns away a
// Mac that cannot show the notch, the update checker and the login item.
class AppStartup {
 public:
  static constexpr const char* kSeenNotchKey = "seenNotch";
  static constexpr const char* kLaunchAtLoginSetOnceKey = "launchAtLoginSetOnce";

  // Why a Mac is turned away: the alert's message and informative text.
  struct Refusal {
    std::string message;
    std::string informative;
    // Both, one per line, as printed where there is no alert to show.
    std::string text() const { return message + "\n" + informative + "\n"; }
  };

  // Migrates the settings, then builds the monitor.
  AppStartup(const sys::Platform& platform, std::unique_ptr<Store> store);

  Monitor& monitor() { return *monitor_; }

  // The rest of launching. Notes whether a notch is visible (and remembers
  // that one was seen), then checks that this Mac can show the notch
  // display: when it cannot, nothing else starts and the refusal comes back.
  // Otherwise starts the update checker (nothing happens where there is
  // none) and registers the login item the first time only, so a user who
  // later turns it off is not overridden.
  std::optional<Refusal> finishLaunching();

  // The "Check for Updates…" action: asks the update checker to look now.
  // False when it cannot (none on this system, not started, or busy).
  bool checkForUpdates();

  // Whether any attached screen has a camera housing.
  static bool notchVisible(sys::Screens& screens);
  // Whether the built-in display is on; true when the displays cannot be
  // listed, so a failed call never lets a notchless Mac through.
  static bool builtInDisplayOnline(sys::Displays& displays);
  static Refusal unsupportedMac();

 private:
  bool checkNotchSupport();

  sys::Platform platform_;
  std::unique_ptr<Monitor> monitor_;
};

}  // namespace ebbwise
