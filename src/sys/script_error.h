#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ebbwise::sys {

// The error dictionary of a failed script run: NSAppleScriptErrorNumber and,
// when the dictionary has one, NSAppleScriptErrorMessage.
struct ScriptError {
  std::int64_t number = 0;
  std::optional<std::string> message;

  friend bool operator==(const ScriptError&, const ScriptError&) = default;
};

}  // namespace ebbwise::sys
