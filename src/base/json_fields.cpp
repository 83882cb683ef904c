#include "base/json_fields.h"

#include <cmath>
#include <exception>

namespace ebbwise::JSONFields {

std::optional<sys::Value> parse(std::string_view text) {
  try {
    sys::Value document = sys::Value::parse(text, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) return std::nullopt;
    return document;
  } catch (const std::exception&) {
    // The parser reports syntax errors by the discarded value; anything it
    // still throws (out of memory on a huge document) means the same here.
    return std::nullopt;
  }
}

std::string dump(const sys::Value& document) {
  return document.dump(-1, ' ', false, sys::Value::error_handler_t::replace);
}

std::optional<double> number(const sys::Value& object, std::string_view key) {
  return sys::asNumber(sys::member(object, key));
}

std::optional<std::int64_t> integer(const sys::Value& object, std::string_view key) {
  const sys::Value* value = sys::member(object, key);
  if (!value || !value->is_number()) return std::nullopt;
  if (value->is_number_float()) {
    double d = value->get<double>();
    if (!std::isfinite(d) || std::trunc(d) != d) return std::nullopt;
  }
  return sys::asInteger(value);
}

bool optionalNumber(const sys::Value& object, std::string_view key, std::optional<double>& out) {
  const sys::Value* value = sys::member(object, key);
  if (!value || value->is_null()) {
    out.reset();
    return true;
  }
  out = sys::asNumber(value);
  return out.has_value();
}

}  // namespace ebbwise::JSONFields
