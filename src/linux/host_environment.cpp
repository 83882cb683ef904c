#include "linux/host_environment.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ebbwise::linux_host {

bool HostEnvironment::fileExists(std::string_view path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::path(path), error);
}

std::optional<std::string> HostEnvironment::homeDirectory() {
  std::string home;
  if (auto v = variable("HOME"); v && !v->empty()) {
    home = *v;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) {
    home = pw->pw_dir;
  } else {
    return std::nullopt;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

std::optional<std::string> HostEnvironment::xdgDirectory(std::string_view name,
                                                         std::string_view fallback) {
  // The XDG rules ignore relative paths in these variables.
  if (auto v = variable(name); v && !v->empty() && v->front() == '/') return *v;
  auto home = homeDirectory();
  if (!home) return std::nullopt;
  return *home + "/" + std::string(fallback);
}

std::optional<std::string> HostEnvironment::applicationSupportDirectory() {
  return xdgDirectory("XDG_DATA_HOME", ".local/share");
}

std::optional<std::string> HostEnvironment::cacheDirectory() {
  return xdgDirectory("XDG_CACHE_HOME", ".cache");
}

std::optional<std::string> HostEnvironment::variable(std::string_view name) {
  const char* v = std::getenv(std::string(name).c_str());
  if (!v) return std::nullopt;
  return std::string(v);
}

sys::OSVersion HostEnvironment::osVersion() {
  sys::OSVersion version;
  utsname u{};
  if (uname(&u) == 0) std::sscanf(u.release, "%d.%d.%d", &version.major, &version.minor, &version.patch);
  return version;
}

}  // namespace ebbwise::linux_host
