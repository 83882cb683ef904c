#include "sys/duration_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace ebbwise::sys {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// "1:30:00" or "45:00": two or three fields, the later ones minutes or
// seconds of two digits.
std::optional<double> clockReading(std::string_view s) {
  double total = 0;
  int fields = 0;
  while (true) {
    std::size_t n = 0;
    while (n < s.size() && isDigit(s[n])) ++n;
    if (n == 0 || (fields > 0 && (n != 2 || s[0] > '5'))) return std::nullopt;
    double field = 0;
    std::from_chars(s.data(), s.data() + n, field, std::chars_format::fixed);
    total = total * 60 + field;
    ++fields;
    s.remove_prefix(n);
    if (s.empty()) break;
    if (s.front() != ':') return std::nullopt;
    s.remove_prefix(1);
  }
  if (fields < 2 || fields > 3) return std::nullopt;
  return total;
}

// "2d12h", "1.5h", "90": numbers, each followed by a smaller unit than the
// one before; a bare number only on its own.
std::optional<double> withUnits(std::string_view s) {
  struct Unit {
    char letter;
    double seconds;
  };
  static constexpr Unit kUnits[] = {{'d', 86400}, {'h', 3600}, {'m', 60}, {'s', 1}};
  double total = 0;
  std::size_t next = 0;  // the largest unit still allowed
  bool first = true;
  while (!s.empty()) {
    std::size_t n = 0;
    while (n < s.size() && isDigit(s[n])) ++n;
    if (n == 0) return std::nullopt;
    if (n < s.size() && s[n] == '.') {
      std::size_t fraction = n + 1;
      while (fraction < s.size() && isDigit(s[fraction])) ++fraction;
      if (fraction == n + 1) return std::nullopt;
      n = fraction;
    }
    double number = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + n, number, std::chars_format::fixed);
    if (error != std::errc() || end != s.data() + n) return std::nullopt;
    s.remove_prefix(n);
    if (s.empty()) {
      if (!first) return std::nullopt;
      return number;  // plain seconds
    }
    std::size_t unit = next;
    while (unit < std::size(kUnits) && kUnits[unit].letter != s.front()) ++unit;
    if (unit == std::size(kUnits)) return std::nullopt;
    total += number * kUnits[unit].seconds;
    next = unit + 1;
    first = false;
    s.remove_prefix(1);
  }
  return total;
}

}  // namespace

std::optional<double> DurationText::parse(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::optional<double> seconds =
      text.find(':') != std::string_view::npos ? clockReading(text) : withUnits(text);
  if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
  return negative ? -*seconds : *seconds;
}

std::string DurationText::format(double seconds) {
  if (!std::isfinite(seconds)) return "?";
  std::string text = seconds < 0 ? "-" : "";
  // Kept within what the count of seconds can hold.
  auto rest = static_cast<std::int64_t>(std::min(std::round(std::fabs(seconds)), 9e18));
  if (rest == 0) return "0s";
  for (const auto& [letter, size] : {std::pair{'d', 86400}, {'h', 3600}, {'m', 60}, {'s', 1}}) {
    if (const std::int64_t count = rest / size; count > 0) {
      text += std::to_string(count) + letter;
      rest %= size;
    }
  }
  return text;
}

}  // namespace ebbwise::sys
