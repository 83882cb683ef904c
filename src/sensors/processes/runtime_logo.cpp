#include "sensors/processes/runtime_logo.h"

#include <algorithm>
#include <string>

#include "base/utf8.h"

namespace ebbwise::RuntimeLogo {

namespace {

struct Alias {
  std::string_view word;
  std::string_view runtime;
};

// Commands that run on a runtime without carrying its name.
constexpr std::array<Alias, 16> aliases = {{
    {"node", "node"},
    {"npm", "node"},
    {"npx", "node"},
    {"pnpm", "node"},
    {"yarn", "node"},
    {"tsx", "node"},
    {"ts-node", "node"},
    {"next-server", "node"},
    {"deno", "deno"},
    {"bun", "bun"},
    {"bunx", "bun"},
    {"ruby", "ruby"},
    {"rails", "ruby"},
    {"bundle", "ruby"},
    {"go", "go"},
    {"java", "java"},
}};

std::optional<std::string_view> runtimeOf(std::string_view word) {
  if (word.starts_with("python")) return "python";
  if (word == "cargo" || word == "rustc") return "rust";
  for (const auto& alias : aliases) {
    if (alias.word == word) return alias.runtime;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Logo> forCommand(std::string_view command) {
  const auto start = command.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  command.remove_prefix(start);
  const std::string word = Utf8::asciiLowercase(command.substr(0, command.find(' ')));
  const auto runtime = runtimeOf(word);
  if (!runtime) return std::nullopt;
  for (const auto& [key, logo] : all) {
    if (key == *runtime) return logo;
  }
  return std::nullopt;
}

double hue(Logo logo) {
  const double r = ((logo.rgb >> 16) & 0xFF) / 255.0;
  const double g = ((logo.rgb >> 8) & 0xFF) / 255.0;
  const double b = (logo.rgb & 0xFF) / 255.0;
  const double max = std::max({r, g, b});
  const double min = std::min({r, g, b});
  const double d = max - min;
  if (d == 0) return 0;
  double h;
  if (max == r) {
    h = (g - b) / d;
  } else if (max == g) {
    h = (b - r) / d + 2;
  } else {
    h = (r - g) / d + 4;
  }
  h /= 6;
  return h < 0 ? h + 1 : h;
}

}  // namespace ebbwise::RuntimeLogo
