#include "app/duration.h"

#include <charconv>
#include <cmath>
#include <string>

namespace ebbwise {

std::optional<double> parseDuration(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;

  double unit = 1;
  switch (text.back()) {
    case 's':
      unit = 1;
      text.remove_suffix(1);
      break;
    case 'm':
      unit = 60;
      text.remove_suffix(1);
      break;
    case 'h':
      unit = 3600;
      text.remove_suffix(1);
      break;
    default:
      break;
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;

  double number = 0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), number, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;

  double seconds = number * unit;
  constexpr double kLongest = 366.0 * 24 * 3600;
  if (!std::isfinite(seconds) || seconds <= 0 || seconds > kLongest) return std::nullopt;
  return seconds;
}

}  // namespace ebbwise
