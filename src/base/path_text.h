#pragma once

#include <string_view>

namespace ebbwise {

// Path arithmetic on text, with no file-system access.
namespace PathText {

// The last component of `path`, ignoring trailing slashes: "python3" for
// "/usr/bin/python3" and "proj" for "/Users/me/proj/"; empty for "/" and "".
constexpr std::string_view lastComponent(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Whether `path` is `folder` itself or lies inside it, comparing whole
// components so that "/Users/me2" is not inside "/Users/me".
constexpr bool isWithin(std::string_view path, std::string_view folder) {
  while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  if (!path.starts_with(folder)) return false;
  return path.size() == folder.size() || path[folder.size()] == '/';
}

}  // namespace PathText

}  // namespace ebbwise
