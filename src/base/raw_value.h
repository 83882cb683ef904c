#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace ebbwise {

// The case of a settings enumeration whose stored text is `raw`; nothing for
// an unknown text, so the setting keeps its default. `rawValue(Enum)` gives
// each case's text.
template <typename Enum, std::size_t N>
std::optional<Enum> fromRawValue(const std::array<Enum, N>& cases, std::string_view raw) {
  for (Enum value : cases) {
    if (rawValue(value) == raw) return value;
  }
  return std::nullopt;
}

}  // namespace ebbwise
