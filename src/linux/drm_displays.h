#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sys/displays.h"

namespace ebbwise::linux_host {

// The displays the kernel's graphics drivers drive, from their connectors in
// sysfs (class "drm": status, enabled, dpms, edid). A panel on an embedded
// connector (eDP, LVDS, DSI) is the built-in display and always has id
// `kBuiltInDisplay`; the others get an id from their connector's name, so a
// monitor keeps its id while it stays on the same port. A connector is active
// while it is connected and enabled, asleep while its power is off; a laptop
// panel switched off by its closed lid is disabled, so it is neither. A
// machine whose graphics driver publishes no connectors but has a panel
// backlight has one built-in display, asleep while the backlight is powered
// down.
class DrmDisplays final : public sys::Displays {
 public:
  static constexpr sys::DisplayID kBuiltInDisplay = 1;

  explicit DrmDisplays(std::string sysRoot) : root_(std::move(sysRoot)) {}

  std::optional<std::vector<sys::DisplayID>> activeDisplays(std::uint32_t maxDisplays) override;
  bool isBuiltin(sys::DisplayID display) override;
  bool isAsleep(sys::DisplayID display) override;
  std::optional<std::vector<sys::DisplayID>> onlineDisplays(std::uint32_t maxDisplays) override;
  std::optional<std::string> displayUUID(sys::DisplayID display) override;

 private:
  struct Connector {
    sys::DisplayID id = 0;
    std::string folder;  // empty for a panel known only by its backlight
    bool builtIn = false;
    bool enabled = false;
    bool asleep = false;
  };
  std::vector<Connector> connectors() const;
  std::optional<Connector> find(sys::DisplayID display) const;

  std::string root_;
};

}  // namespace ebbwise::linux_host
