#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise {

// Strict reads of stored JSON documents. A required member must be present
// with the right type; an optional member may be missing or null, but when
// present it must have the right type. Anything else makes the whole
// document unreadable, so a damaged store is treated as no store at all
// instead of as a half-read one.
namespace JSONFields {

// The document in `text`; nothing for malformed or truncated text. Never throws.
std::optional<sys::Value> parse(std::string_view text);

// The document as compact text. Strings that are not valid UTF-8 (a process
// name can be any bytes) are written with replacement characters instead of
// failing the whole write.
std::string dump(const sys::Value& document);

// A finite number, integer or not.
std::optional<double> number(const sys::Value& object, std::string_view key);

// A whole number within 64 bits; a float counts only when it has no fraction.
std::optional<std::int64_t> integer(const sys::Value& object, std::string_view key);

// An optional number: false when the member is present but not a number;
// otherwise true, with `out` set to the number or to nothing.
bool optionalNumber(const sys::Value& object, std::string_view key, std::optional<double>& out);

// A stored document's text decoded by `Type::fromJSON`; nothing when the text
// is not JSON or the document is not one of `Type`.
template <typename Type>
std::optional<Type> decode(std::string_view text) {
  std::optional<sys::Value> document = parse(text);
  if (!document) return std::nullopt;
  return Type::fromJSON(*document);
}

}  // namespace JSONFields

}  // namespace ebbwise
