#include "linux/drm_displays.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "linux/backlight_device.h"
#include "linux/sysfs_file.h"

namespace ebbwise::linux_host {

namespace {

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t seed = 1469598103934665603ull) {
  std::uint64_t h = seed;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// "card0-eDP-1" → "eDP-1"; empty for the card's own folder ("card0").
std::string_view connectorName(std::string_view folder) {
  if (!folder.starts_with("card")) return {};
  const auto dash = folder.find('-');
  if (dash == std::string_view::npos) return {};
  return folder.substr(dash + 1);
}

bool isEmbedded(std::string_view connector) {
  return connector.starts_with("eDP-") || connector.starts_with("LVDS-") ||
         connector.starts_with("DSI-");
}

std::vector<sys::DisplayID> upTo(std::vector<sys::DisplayID> ids, std::uint32_t maxDisplays) {
  if (ids.size() > maxDisplays) ids.resize(maxDisplays);
  return ids;
}

}  // namespace

std::vector<DrmDisplays::Connector> DrmDisplays::connectors() const {
  std::vector<std::string> folders;
  std::error_code error;
  const std::string drm = root_ + "/class/drm";
  for (const auto& entry : std::filesystem::directory_iterator(drm, error)) {
    folders.push_back(entry.path().filename().string());
  }
  std::sort(folders.begin(), folders.end());
  std::vector<Connector> out;
  bool builtInSeen = false;
  for (const auto& name : folders) {
    const auto connector = connectorName(name);
    if (connector.empty()) continue;
    const std::string folder = drm + "/" + name;
    const auto status = SysfsFile::readLine(folder + "/status");
    if (!status) continue;  // a card's render node or another kind of entry
    Connector c;
    c.folder = folder;
    c.builtIn = isEmbedded(connector) && !builtInSeen;
    builtInSeen = builtInSeen || c.builtIn;
    c.id = c.builtIn ? kBuiltInDisplay
                     : static_cast<sys::DisplayID>(0x40000000u | (fnv1a(connector) & 0x3FFFFFFFu));
    // Drivers without the file drive whatever is connected.
    const auto enabled = SysfsFile::readLine(folder + "/enabled");
    c.enabled = *status == "connected" && (!enabled || *enabled == "enabled");
    c.asleep = SysfsFile::readLine(folder + "/dpms") == "Off";
    out.push_back(std::move(c));
  }
  if (!builtInSeen) {
    if (auto backlight = BacklightDevice::screen(root_)) {
      out.insert(out.begin(), Connector{kBuiltInDisplay, "", true, true, backlight->isPoweredDown()});
    }
  }
  // The built-in display first, as the platform lists the main display first.
  std::stable_partition(out.begin(), out.end(), [](const Connector& c) { return c.builtIn; });
  return out;
}

std::optional<DrmDisplays::Connector> DrmDisplays::find(sys::DisplayID display) const {
  for (auto& c : connectors()) {
    if (c.id == display) return c;
  }
  return std::nullopt;
}

std::optional<std::vector<sys::DisplayID>> DrmDisplays::activeDisplays(std::uint32_t maxDisplays) {
  std::vector<sys::DisplayID> ids;
  for (const auto& c : connectors()) {
    if (c.enabled && !c.asleep) ids.push_back(c.id);
  }
  return upTo(std::move(ids), maxDisplays);
}

std::optional<std::vector<sys::DisplayID>> DrmDisplays::onlineDisplays(std::uint32_t maxDisplays) {
  std::vector<sys::DisplayID> ids;
  for (const auto& c : connectors()) {
    if (c.enabled) ids.push_back(c.id);
  }
  return upTo(std::move(ids), maxDisplays);
}

bool DrmDisplays::isBuiltin(sys::DisplayID display) {
  const auto c = find(display);
  return c && c->builtIn;
}

bool DrmDisplays::isAsleep(sys::DisplayID display) {
  const auto c = find(display);
  return c && c->asleep;
}

std::optional<std::string> DrmDisplays::displayUUID(sys::DisplayID display) {
  const auto c = find(display);
  if (!c) return std::nullopt;
  // The panel's own identity (its EDID) where it has one, so the same monitor
  // keeps its UUID on another port; else the port.
  std::string identity =
      c->folder.empty() ? "built-in panel" : std::filesystem::path(c->folder).filename().string();
  if (!c->folder.empty()) {
    if (auto edid = SysfsFile::read(c->folder + "/edid", 1024); edid && edid->size() >= 128) {
      identity = edid->substr(0, 128);
    }
  }
  const std::uint64_t a = fnv1a(identity), b = fnv1a(identity, a);
  char text[40];
  std::snprintf(text, sizeof text, "%08llX-%04llX-%04llX-%04llX-%012llX",
                static_cast<unsigned long long>(a >> 32),
                static_cast<unsigned long long>(a >> 16 & 0xFFFF),
                static_cast<unsigned long long>(a & 0xFFFF),
                static_cast<unsigned long long>(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return std::string(text);
}

}  // namespace ebbwise::linux_host
