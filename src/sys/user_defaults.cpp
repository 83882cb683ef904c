#include "sys/user_defaults.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace ebbwise::sys {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool UserDefaults::boolValue(std::string_view key) {
  const auto value = object(key);
  if (!value) return false;
  if (auto b = asBool(&*value)) return *b;
  if (auto n = asNumber(&*value)) return *n != 0;
  if (const auto text = asString(&*value)) {
    if (equalsIgnoringCase(*text, "true") || equalsIgnoringCase(*text, "yes")) return true;
    // Otherwise the integer the text begins with, as the platform reads it.
    std::string_view digits(*text);
    digits.remove_prefix(std::min(digits.find_first_not_of(" \t"), digits.size()));
    if (digits.starts_with('+')) digits.remove_prefix(1);
    long long number = 0;
    const auto [at, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc{} && at != digits.data() && number != 0;
  }
  return false;
}

std::optional<std::string> UserDefaults::stringValue(std::string_view key) {
  const auto value = object(key);
  if (!value) return std::nullopt;
  return asString(&*value);
}

}  // namespace ebbwise::sys
