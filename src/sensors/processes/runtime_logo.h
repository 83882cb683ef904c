#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace ebbwise {

// The language-runtime logo shown beside a developer-tool row.
namespace RuntimeLogo {

struct Logo {
  std::string_view file;  // the logo image's file name among the presentation's resources
  std::uint32_t rgb = 0;  // brand colour, 0xRRGGBB

  friend bool operator==(const Logo&, const Logo&) = default;
};

// Every logo, keyed by runtime.
inline constexpr std::array<std::pair<std::string_view, Logo>, 8> all = {{
    {"python", {"python", 0x4B8BBE}},
    {"node", {"nodedotjs", 0x5FA04E}},
    {"deno", {"deno", 0xFFFFFF}},
    {"bun", {"bun", 0xFBF0DF}},
    {"ruby", {"ruby", 0xCC342D}},
    {"go", {"go", 0x00ADD8}},
    {"rust", {"rust", 0xDEA584}},
    {"java", {"openjdk", 0xF89820}},
}};

// The logo for a short command line, picked by its first word ("npm run dev"
// shows node's logo); nothing for commands of no known runtime.
std::optional<Logo> forCommand(std::string_view command);

// The hue of the logo's colour as a fraction of the colour wheel, 0 up to 1;
// 0 for greys.
double hue(Logo logo);

}  // namespace RuntimeLogo

}  // namespace ebbwise
