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
    long long number = 0;
    const char* end = text->data() + text->size();
    const auto [at, error] = std::from_chars(text->data(), end, number);
    return error == std::errc{} && at == end && number != 0;
  }
  return false;
}

std::optional<std::string> UserDefaults::stringValue(std::string_view key) {
  const auto value = object(key);
  if (!value) return std::nullopt;
  return asString(&*value);
}

}  // namespace ebbwise::sys
