#pragma once

#include <optional>
#include <string>

#include "sys/environment.h"
#include "sys/platform_error.h"

namespace ebbwise::linux_host {

// The user service that keeps the background monitor running: one unit
// file, "systemd/user/ebbwise.service" under the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), starting the program with --monitor
// when the user's service manager starts. Writing it again with the same
// text leaves the file alone; a changed text replaces the file in one step,
// so the service manager never reads half of one and there is never a second.
class SystemdUserUnit {
 public:
  static constexpr const char* kName = "ebbwise.service";

  enum class Outcome { written, unchanged };

  // `configFolder`: the folder that holds "systemd"; `executable`: the
  // absolute path of the program the service starts.
  SystemdUserUnit(std::string configFolder, std::string executable);

  const std::string& path() const { return path_; }
  // The unit's text; nothing for a program path the unit cannot hold.
  std::optional<std::string> text() const;
  // Writes the unit unless it already holds the same text.
  std::optional<sys::PlatformError> install(Outcome& outcome) const;

  // The ExecStart value that starts `path` with `argument`: the path quoted
  // and escaped as unit files want. Nothing for a relative path or one with
  // control characters.
  static std::optional<std::string> execStart(const std::string& path, const std::string& argument);

 private:
  std::string folder_;
  std::string path_;
  std::string executable_;
};

}  // namespace ebbwise::linux_host
