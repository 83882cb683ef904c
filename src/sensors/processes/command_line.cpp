#include "sensors/processes/command_line.h"

#include <algorithm>
#include <cstring>

#include "sensors/processes/dev_tools.h"
#include "base/utf8.h"

namespace ebbwise {

std::optional<CommandLine> CommandLine::parse(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 5) return std::nullopt;
  std::int32_t argc = 0;
  std::memcpy(&argc, bytes.data(), sizeof argc);

  CommandLine result;
  const auto end = bytes.end();
  // The executable path, then the NUL padding that aligns the strings after it.
  auto at = std::find(bytes.begin() + sizeof argc, end, std::uint8_t{0});
  if (at == end) return result;
  at = std::find_if(at, end, [](std::uint8_t b) { return b != 0; });

  // A negative argc counts as none; a huge one makes every string an argument.
  const std::int64_t argumentCount = std::max<std::int64_t>(argc, 0);
  std::int64_t index = 0;
  while (at != end) {
    const auto stop = std::find(at, end, std::uint8_t{0});
    if (stop == at) break;  // an empty string ends the environment
    std::string text = Utf8::decode(std::span<const std::uint8_t>(at, stop));
    at = stop == end ? end : stop + 1;
    if (index++ < argumentCount) {
      result.arguments.push_back(std::move(text));
      continue;
    }
    const auto equals = text.find('=');
    if (equals == std::string::npos) continue;
    std::string key = text.substr(0, equals);
    if (!DevTools::isEnvKey(key)) continue;
    // A repeated variable keeps its first value: the one the process itself sees.
    result.environment.try_emplace(std::move(key), text.substr(equals + 1));
  }
  return result;
}

std::optional<std::string_view> CommandLine::variable(std::string_view key) const {
  const auto it = environment.find(key);
  if (it == environment.end()) return std::nullopt;
  return it->second;
}

}  // namespace ebbwise
