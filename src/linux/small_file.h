#pragma once

#include <optional>
#include <string>

#include "sys/platform_error.h"

namespace ebbwise::linux_host {

// Small text files the desktop reads from the user's folders (an autostart
// entry, a service unit): read whole, and replaced in one step, so that a
// session starting meanwhile sees the old file or the new one, never half.
class SmallFile {
 public:
  static std::optional<std::string> read(const std::string& path);
  // Makes the file's folder and its missing parents (private to the user),
  // writes `text` beside the file (mode 0644), flushes it and renames it over
  // `path`. Nothing is left behind on failure.
  static std::optional<sys::PlatformError> replace(const std::string& path,
                                                   const std::string& text);
  static sys::PlatformError posixError(int error);
};

}  // namespace ebbwise::linux_host
