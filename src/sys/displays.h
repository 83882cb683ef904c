#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ebbwise::sys {

using DisplayID = std::uint32_t;

// Core Graphics display queries.
class Displays {
 public:
  virtual ~Displays() = default;

  // CGGetActiveDisplayList with room for `maxDisplays`; nothing when the call fails.
  virtual std::optional<std::vector<DisplayID>> activeDisplays(std::uint32_t maxDisplays) = 0;
  // CGDisplayIsBuiltin.
  virtual bool isBuiltin(DisplayID display) = 0;
  // CGDisplayIsAsleep.
  virtual bool isAsleep(DisplayID display) = 0;
  // CGGetOnlineDisplayList with room for `maxDisplays`: the displays that are
  // active, mirrored or asleep (a built-in panel switched off by its closed
  // lid is not among them); nothing when the call fails.
  virtual std::optional<std::vector<DisplayID>> onlineDisplays(std::uint32_t maxDisplays) = 0;
  // CGDisplayCreateUUIDFromDisplayID and CFUUIDCreateString: the display's
  // UUID in upper-case hex with dashes; nothing for an unknown display.
  virtual std::optional<std::string> displayUUID(DisplayID display) = 0;
};

// The two DisplayServices entry points, as C functions returning 0 on success.
using BrightnessGetter = std::function<int(DisplayID display, float& brightness)>;
using BrightnessSetter = std::function<int(DisplayID display, float brightness)>;

// A private framework's functions looked up by name at run time.
class DisplayServices {
 public:
  virtual ~DisplayServices() = default;

  // Opens the framework at `frameworkPath` (lazy binding) and looks `symbol`
  // up; an empty function when the framework or the symbol is missing.
  virtual BrightnessGetter brightnessGetter(std::string_view frameworkPath,
                                            std::string_view symbol) = 0;
  virtual BrightnessSetter brightnessSetter(std::string_view frameworkPath,
                                            std::string_view symbol) = 0;
};

}  // namespace ebbwise::sys
