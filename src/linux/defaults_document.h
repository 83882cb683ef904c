#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise::linux_host {

// The settings file's text: one JSON object from key to value. Data values,
// which JSON lacks, are written as {"$data": "<base64>"}; so that no stored
// dictionary can be mistaken for one, every dictionary key that begins with
// "$" is written with one more "$" in front. Non-finite numbers are written as
// null, and text that is not UTF-8 with U+FFFD in place of the bad bytes.
namespace DefaultsDocument {

using Values = std::map<std::string, sys::Value, std::less<>>;

// Values nested deeper than this are neither written nor read: a file that
// nests deeper is not one of ours, and reading it could exhaust the stack.
inline constexpr int kMaxDepth = 256;

// Files longer than this are not settings files.
inline constexpr std::size_t kMaxSize = 8u << 20;

struct Decoded {
  std::optional<Values> values;
  std::string problem;  // why there are none, as the end of a sentence: "it is not JSON"
};

Decoded decode(std::string_view text);
std::string encode(const Values& values);

// Whether `value` can be written and read back: not nested past kMaxDepth.
bool fits(const sys::Value& value);

// `value` as it reads back from a document: non-finite numbers become null.
sys::Value normalized(sys::Value value);

}  // namespace DefaultsDocument

}  // namespace ebbwise::linux_host
