#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/environment.h"
#include "sys/image.h"

namespace ebbwise::linux_host {

// The icon a Linux desktop shows for a file: an application's desktop entry
// (or the executable one names) gives its "Icon" key, which is a file or a
// name looked up in the "hicolor" theme of the data folders and then among
// the legacy pixmaps. Only PNG icons are read; an application whose only
// icon is scalable (SVG) has none here.
class IconTheme {
 public:
  // `dataFolders`: the folders whose "icons" and "applications" are
  // searched, most important first; `pixmaps`: the legacy icon folder.
  explicit IconTheme(std::vector<std::string> dataFolders = {}, std::string pixmaps = {});
  // The user's: $XDG_DATA_HOME (or ~/.local/share), then $XDG_DATA_DIRS
  // (or /usr/local/share and /usr/share), and /usr/share/pixmaps.
  static IconTheme forUser(sys::Environment& environment);

  // The smallest theme size at least this big is preferred.
  static constexpr int kWantedSize = 32;
  // Icons larger than this a side are not loaded (no theme has them).
  static constexpr int kLargestSide = 1024;

  // The icon of the file at `path`: a desktop entry, or an executable that
  // a desktop entry of the data folders starts. Nothing for any other file,
  // an entry without an icon, or an icon that cannot be read.
  std::optional<sys::Image> iconForFile(std::string_view path) const;

  // The desktop entry for `path`: itself when it is one, else the first
  // entry in the data folders' "applications" whose program is `path`.
  std::optional<std::string> desktopEntry(std::string_view path) const;
  // The file of an icon named by a desktop entry's "Icon" key.
  std::optional<std::string> iconFile(std::string_view icon) const;

  // The "Icon" key of an entry's "[Desktop Entry]" group; nothing without one.
  static std::optional<std::string> iconKey(std::string_view entry);
  // The program of an entry's "Exec" (or "TryExec") key: its first word,
  // unquoted, past an `env` and its assignments.
  static std::optional<std::string> program(std::string_view entry);
  // A PNG file as premultiplied pixels; nothing for a file that is missing,
  // no PNG, damaged or too large.
  static std::optional<sys::Image> loadPNG(const std::string& path);

 private:
  bool starts(const std::string& program, std::string_view path) const;

  std::vector<std::string> dataFolders_;
  std::string pixmaps_;
};

}  // namespace ebbwise::linux_host
