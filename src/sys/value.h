#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ebbwise::sys {

// A property-list value as the platform hands it over: numbers (integer or
// float), booleans, strings, data, dictionaries with string keys and lists.
// Readers never trust a value's type; the typed reads below answer absent
// unless the value has the expected type.
using Value = nlohmann::json;

// The member `key` of `dictionary`, or null when `dictionary` is not a
// dictionary or has no such key.
const Value* member(const Value& dictionary, std::string_view key);
const Value* member(const Value* dictionary, std::string_view key);

// A number of either kind, widened to double. Absent for non-numbers and for
// non-finite floats.
std::optional<double> asNumber(const Value* value);

// A number read as a signed 64-bit integer: floats truncate toward zero.
// Absent for non-numbers and for values outside the 64-bit range (NaN and
// infinities included).
std::optional<std::int64_t> asInteger(const Value* value);

// A number read as an unsigned 64-bit integer: floats truncate toward zero.
// Absent for non-numbers, negative values and values beyond 64 bits.
std::optional<std::uint64_t> asUnsigned(const Value* value);

// Only a boolean counts; numbers are not coerced.
std::optional<bool> asBool(const Value* value);

// Only a string counts.
std::optional<std::string> asString(const Value* value);

// The value itself when it is a dictionary (respectively a list), else null.
const Value* asDictionary(const Value* value);
const Value* asList(const Value* value);

}  // namespace ebbwise::sys
