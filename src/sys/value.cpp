#include "sys/value.h"

#include <cmath>
#include <limits>

namespace ebbwise::sys {

const Value* member(const Value& dictionary, std::string_view key) {
  if (!dictionary.is_object()) return nullptr;
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &*it;
}

const Value* member(const Value* dictionary, std::string_view key) {
  return dictionary ? member(*dictionary, key) : nullptr;
}

std::optional<double> asNumber(const Value* value) {
  if (!value || !value->is_number()) return std::nullopt;
  double d = value->get<double>();
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

std::optional<std::int64_t> asInteger(const Value* value) {
  if (!value) return std::nullopt;
  if (value->is_number_unsigned()) {
    auto u = value->get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(u);
  }
  if (value->is_number_integer()) return value->get<std::int64_t>();
  if (value->is_number_float()) {
    double d = std::trunc(value->get<double>());
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> asUnsigned(const Value* value) {
  if (!value) return std::nullopt;
  if (value->is_number_unsigned()) return value->get<std::uint64_t>();
  if (value->is_number_integer()) {
    auto i = value->get<std::int64_t>();
    if (i < 0) return std::nullopt;
    return static_cast<std::uint64_t>(i);
  }
  if (value->is_number_float()) {
    double d = std::trunc(value->get<double>());
    if (!std::isfinite(d) || d < 0 || d >= 18446744073709551616.0) return std::nullopt;
    return static_cast<std::uint64_t>(d);
  }
  return std::nullopt;
}

std::optional<bool> asBool(const Value* value) {
  if (!value || !value->is_boolean()) return std::nullopt;
  return value->get<bool>();
}

std::optional<std::string> asString(const Value* value) {
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

const Value* asDictionary(const Value* value) {
  return value && value->is_object() ? value : nullptr;
}

const Value* asList(const Value* value) { return value && value->is_array() ? value : nullptr; }

}  // namespace ebbwise::sys
