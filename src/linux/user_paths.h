#pragma once

#include <optional>
#include <string>

#include "sys/environment.h"

namespace ebbwise::linux_host {

// Where this user's settings live and where this program's binary is.
struct UserPaths {
  // $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
  static std::optional<std::string> configFolder(sys::Environment& environment);
  // The running binary's absolute path, as the kernel has it.
  static std::optional<std::string> ownExecutable();
};

}  // namespace ebbwise::linux_host
