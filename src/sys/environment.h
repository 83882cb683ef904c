#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebbwise::sys {

struct OSVersion {
  int major = 0;
  int minor = 0;
  int patch = 0;
  friend auto operator<=>(const OSVersion&, const OSVersion&) = default;
};

// The program's surroundings: files, folders, variables, the OS release.
class Environment {
 public:
  virtual ~Environment() = default;

  // Whether anything exists at `path`.
  virtual bool fileExists(std::string_view path) = 0;

  // The current user's home folder, without a trailing slash; nothing when unknown.
  virtual std::optional<std::string> homeDirectory() = 0;

  // The platform's per-user folder for application data: "Library/Application
  // Support" under the home folder on macOS, $XDG_DATA_HOME (or ~/.local/share)
  // on Linux; nothing when the home folder is unknown.
  virtual std::optional<std::string> applicationSupportDirectory() = 0;

  // The platform's per-user cache folder; nothing when unknown.
  virtual std::optional<std::string> cacheDirectory() = 0;

  // An environment variable of this program; nothing when unset.
  virtual std::optional<std::string> variable(std::string_view name) = 0;

  // The operating system's version.
  virtual OSVersion osVersion() = 0;
};

}  // namespace ebbwise::sys
