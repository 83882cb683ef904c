#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebbwise {

namespace Killable {

// Whether a row stands for something the user may quit: a developer process,
// or an app bundle outside the system's own folders. Group rows never are.
bool isUserStoppable(std::string_view row, const std::optional<std::string>& bundlePath,
                     bool isDevProcess);

}  // namespace Killable

}  // namespace ebbwise
