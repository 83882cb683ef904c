#include "linux/user_paths.h"

#include <unistd.h>

namespace ebbwise::linux_host {

std::optional<std::string> UserPaths::configFolder(sys::Environment& environment) {
  if (auto v = environment.variable("XDG_CONFIG_HOME"); v && !v->empty() && v->front() == '/') {
    return v;
  }
  if (auto home = environment.homeDirectory()) return *home + "/.config";
  return std::nullopt;
}

std::optional<std::string> UserPaths::ownExecutable() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::nullopt;
  return std::string(path, static_cast<std::size_t>(n));
}

}  // namespace ebbwise::linux_host
