#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "linux/unique_fd.h"
#include "sys/platform_error.h"

namespace ebbwise::linux_host {

// The power-profiles daemon on the system bus ("power-saver", "balanced",
// "performance"), under its current name or its older one. Once started, a
// thread of its own follows the active profile: it reads it, then waits on
// the bus for the daemon's PropertiesChanged signal and for the daemon
// coming and going, without polling; with no bus or no daemon it tries again
// now and then. Reading the profile never waits for the bus.
class PowerProfiles {
 public:
  struct Options {
    // The bus the daemon is on; absent: the system bus.
    std::optional<std::string> busAddress;
    double callTimeoutSeconds = 5;
    // How long to wait before connecting again after the bus went away.
    double reconnectSeconds = 30;
  };
  // Called on the watching thread (or the setter's) whenever the profile
  // known changes; absent when no daemon answers.
  using ChangeHandler = std::function<void(const std::optional<std::string>& profile)>;

  PowerProfiles(Options options, ChangeHandler onChange);
  ~PowerProfiles();
  PowerProfiles(const PowerProfiles&) = delete;
  PowerProfiles& operator=(const PowerProfiles&) = delete;

  // Starts following the daemon; later calls do nothing.
  void start();
  // The active profile last seen; absent before the first answer, or
  // without a daemon.
  std::optional<std::string> activeProfile() const;
  bool isPowerSaver() const { return activeProfile() == kPowerSaver; }

  // Asks the daemon to switch profile and waits for its answer (up to
  // `timeoutSeconds`): call it off the main loop. On success the profile
  // known is the new one before this returns.
  std::optional<sys::PlatformError> setActiveProfile(const std::string& profile,
                                                     double timeoutSeconds);

  static constexpr const char* kPowerSaver = "power-saver";
  static constexpr const char* kBalanced = "balanced";

 private:
  void run();
  void learn(std::optional<std::string> profile);

  Options options_;
  ChangeHandler onChange_;
  mutable std::mutex mutex_;
  std::optional<std::string> profile_;
  std::once_flag started_;
  UniqueFd wake_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace ebbwise::linux_host
