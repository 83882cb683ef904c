#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ebbwise {

// Another process's arguments and the few environment variables that tell
// what started it, as read from the kernel's argument area.
struct CommandLine {
  using Variables = std::map<std::string, std::string, std::less<>>;

  std::vector<std::string> arguments;
  Variables environment;  // only the keys in DevTools::envKeys

  // Parses the kernel's argument-area bytes: argc (32-bit, native order), the
  // executable path, NUL padding, then NUL-terminated strings of which the
  // first argc are arguments and the rest environment entries, up to an empty
  // string or the end. Nothing when there are fewer than 5 bytes. Any byte
  // sequence is safe: invalid UTF-8 is replaced, and argc is only a count to
  // compare against, whatever it claims.
  static std::optional<CommandLine> parse(std::span<const std::uint8_t> bytes);

  // The value of a kept environment variable; nothing when it is not set.
  std::optional<std::string_view> variable(std::string_view key) const;

  friend bool operator==(const CommandLine&, const CommandLine&) = default;
};

}  // namespace ebbwise
