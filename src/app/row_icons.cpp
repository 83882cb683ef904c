#include "app/row_icons.h"

#include "sensors/processes/process_inspector.h"

namespace ebbwise {

std::optional<std::string> RowIcons::iconPath(const std::string& row, const Tracker& tracker,
                                              sys::Environment& environment) {
  const auto& paths = tracker.bundlePaths();
  if (auto found = paths.find(row); found != paths.end()) return found->second;
  if (row == kClaudeRow && environment.fileExists(kClaudeAppPath)) return kClaudeAppPath;
  return std::nullopt;
}

std::shared_ptr<const sys::Image> RowIcons::icon(const std::string& row, const Tracker& tracker,
                                                 sys::Environment& environment,
                                                 sys::Workspace& workspace) {
  if (auto cached = iconCache.find(row); cached != iconCache.end()) return cached->second;
  const std::optional<std::string> path = iconPath(row, tracker, environment);
  if (!path) return nullptr;
  if (auto missed = iconlessPaths_.find(row);
      missed != iconlessPaths_.end() && missed->second == *path) {
    return nullptr;
  }
  std::optional<sys::Image> image = workspace.iconForFile(*path);
  // An image whose pixels do not cover its size would be read past its end.
  if (!image || !image->isValid()) {
    iconlessPaths_.insert_or_assign(row, *path);
    return nullptr;
  }
  auto found = std::make_shared<const sys::Image>(std::move(*image));
  iconCache.emplace(row, found);
  return found;
}

std::optional<RuntimeLogo::Logo> RowIcons::logo(const std::string& row, const Tracker& tracker) {
  if (!tracker.isDevTool(row) || row.starts_with(kClaudeCodePrefix)) return std::nullopt;
  const ProcessInspector::RowNameParts parts = ProcessInspector::splitRowName(row);
  return RuntimeLogo::forCommand(parts.command ? *parts.command : row);
}

std::optional<double> RowIcons::hue(const std::string& row, const Tracker& tracker,
                                    sys::Environment& environment, const IconHue& iconHue) {
  if (auto cached = hueCache.find(row); cached != hueCache.end()) return cached->second;
  if (auto found = logo(row, tracker)) {
    std::optional<double> value;
    if (found->rgb != kWhite && found->rgb != kCream) value = RuntimeLogo::hue(*found);
    hueCache.emplace(row, value);
    return value;
  }
  const std::optional<std::string> path = iconPath(row, tracker, environment);
  // Until something can read the icon's pixels, the hue is not known yet
  // rather than absent.
  if (path && !iconHue) return std::nullopt;
  const std::optional<double> value = path ? iconHue(*path) : std::nullopt;
  hueCache.emplace(row, value);
  return value;
}

}  // namespace ebbwise
