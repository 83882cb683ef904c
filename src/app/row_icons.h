#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "accounting/tracker.h"
#include "sensors/processes/runtime_logo.h"
#include "sys/environment.h"
#include "sys/image.h"
#include "sys/workspace.h"

namespace ebbwise {

// Where each row's icon comes from, and the dominant hue that gives the row
// its chart colour: the file whose icon a row shows, its icon as the
// workspace gives it (kept once found), and the choice between a runtime
// logo's colour and the icon's.
class RowIcons {
 public:
  static constexpr const char* kClaudeRow = "Claude";
  static constexpr const char* kClaudeAppPath = "/Applications/Claude.app";
  static constexpr const char* kClaudeCodePrefix = "Claude Code (";
  // Logo colours too pale to colour a chart line.
  static constexpr std::uint32_t kWhite = 0xFFFFFF;
  static constexpr std::uint32_t kCream = 0xFBF0DF;

  // The dominant hue of the icon at a path (its 32 × 32 rendering), or
  // nothing for a grey or unreadable icon.
  using IconHue = std::function<std::optional<double>(const std::string& path)>;

  // The file whose icon the row shows: the app bundle the tracker saw for
  // it, or for "Claude" the desktop app when installed; nothing otherwise.
  static std::optional<std::string> iconPath(const std::string& row, const Tracker& tracker,
                                             sys::Environment& environment);
  // The row's icon: the workspace's icon of its file, kept once found. A row
  // without a file is asked about again later, as its app may be seen by
  // then; a file without an icon is not asked about again on every redraw,
  // only once the row names another file.
  std::shared_ptr<const sys::Image> icon(const std::string& row, const Tracker& tracker,
                                         sys::Environment& environment, sys::Workspace& workspace);
  // The runtime logo of a developer-tool row (not a coding-agent session).
  static std::optional<RuntimeLogo::Logo> logo(const std::string& row, const Tracker& tracker);

  // The row's hue, worked out once and kept (an absent hue too); a row with
  // an icon file waits until `iconHue` can read it.
  std::optional<double> hue(const std::string& row, const Tracker& tracker,
                            sys::Environment& environment, const IconHue& iconHue);

  // Published state.
  std::map<std::string, std::shared_ptr<const sys::Image>> iconCache;
  std::map<std::string, std::optional<double>> hueCache;

 private:
  std::map<std::string, std::string> iconlessPaths_;  // row → its file that had no icon
};

}  // namespace ebbwise
