#include "linux/defaults_document.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/utf8.h"

namespace ebbwise::linux_host::DefaultsDocument {

namespace {

using sys::Value;

constexpr std::string_view kDataKey = "$data";
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct TooDeep {};

std::string base64(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t(bytes[i]) << 16;
    if (n > 1) group |= std::uint32_t(bytes[i + 1]) << 8;
    if (n > 2) group |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> unbase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::array<int, 256> index{};
  index.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    index[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  }
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    std::size_t padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      // Padding only at the very end, and at most two characters of it.
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const int v = index[static_cast<unsigned char>(c)];
      if (v < 0 || padding > 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(v);
    }
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
  }
  return out;
}

std::string escapeKey(const std::string& key) {
  return !key.empty() && key.front() == '$' ? "$" + key : key;
}

std::string unescapeKey(const std::string& key) {
  return key.starts_with("$$") ? key.substr(1) : key;
}

Value encodeValue(const Value& value) {
  if (value.is_binary()) {
    const auto& bytes = value.get_binary();
    return Value{{kDataKey, base64(std::vector<std::uint8_t>(bytes.begin(), bytes.end()))}};
  }
  if (value.is_object()) {
    Value out = Value::object();
    for (const auto& [key, member] : value.items()) out[escapeKey(key)] = encodeValue(member);
    return out;
  }
  if (value.is_array()) {
    Value out = Value::array();
    for (const Value& element : value) out.push_back(encodeValue(element));
    return out;
  }
  return value;
}

// Lenient with hand-edited files: a "$data" that is not base64 stays a
// dictionary, and a key with a single "$" stays as it is.
Value decodeValue(const Value& value) {
  if (value.is_object()) {
    if (value.size() == 1 && value.contains(kDataKey) && value.at(kDataKey).is_string()) {
      if (auto bytes = unbase64(value.at(kDataKey).get_ref<const std::string&>())) {
        return Value::binary(std::move(*bytes));
      }
    }
    Value out = Value::object();
    for (const auto& [key, member] : value.items()) out[unescapeKey(key)] = decodeValue(member);
    return out;
  }
  if (value.is_array()) {
    Value out = Value::array();
    for (const Value& element : value) out.push_back(decodeValue(element));
    return out;
  }
  return value;
}

int depthOf(const Value& value, int limit) {
  if (!value.is_structured()) return 0;
  if (limit <= 0) return 1;
  int deepest = 0;
  for (const Value& member : value) deepest = std::max(deepest, depthOf(member, limit - 1));
  return deepest + 1;
}

}  // namespace

bool fits(const Value& value) {
  // The document's own object and a data value's wrapper add a level each.
  return depthOf(value, kMaxDepth) <= kMaxDepth - 2;
}

Value normalized(Value value) {
  if (value.is_number_float() && !std::isfinite(value.get<double>())) return Value();
  if (value.is_structured()) {
    for (Value& member : value) member = normalized(std::move(member));
  }
  return value;
}

Decoded decode(std::string_view text) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return {{}, "it is empty"};
  if (Utf8::decode(text) != text) return {{}, "it is not UTF-8 text"};
  Value root;
  try {
    const Value::parser_callback_t limitDepth = [](int depth, Value::parse_event_t, Value&) {
      if (depth > kMaxDepth) throw TooDeep{};
      return true;
    };
    root = Value::parse(text, limitDepth);
  } catch (const TooDeep&) {
    return {{}, "it is nested too deeply"};
  } catch (const Value::exception&) {
    return {{}, "it is not JSON"};
  }
  if (!root.is_object()) return {{}, "it is not a JSON object"};
  Values values;
  for (const auto& [key, member] : root.items()) {
    if (!member.is_null()) values.insert_or_assign(unescapeKey(key), decodeValue(member));
  }
  return {std::move(values), {}};
}

std::string encode(const Values& values) {
  Value root = Value::object();
  for (const auto& [key, value] : values) {
    if (fits(value)) root[escapeKey(key)] = encodeValue(value);
  }
  return root.dump(2, ' ', false, Value::error_handler_t::replace) + "\n";
}

}  // namespace ebbwise::linux_host::DefaultsDocument
