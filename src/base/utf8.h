#pragma once

// The base library: text, path and stored-JSON helpers and the time-left text,
// shared by every library above the platform layer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ebbwise {

// Text helpers for bytes that come from other processes (paths, arguments,
// environment strings) and may not be valid UTF-8. Everything except `decode`
// expects well-formed UTF-8, which is what `decode` produces.
namespace Utf8 {

inline constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Well-formed UTF-8 from arbitrary bytes: each maximal ill-formed subsequence
// (a stray continuation byte, a truncated or overlong sequence, a surrogate, a
// value past U+10FFFF) becomes one U+FFFD. NUL bytes are kept.
std::string decode(std::string_view bytes);
std::string decode(std::span<const std::uint8_t> bytes);

// The number of Unicode scalar values in `text`.
std::size_t length(std::string_view text);

// The first `count` scalar values of `text` (all of it when shorter); never
// ends inside a multi-byte sequence.
std::string_view prefix(std::string_view text, std::size_t count);

// The pieces of `text` between runs of white space and line breaks (ASCII and
// Unicode ones alike); never an empty piece.
std::vector<std::string_view> splitWhitespace(std::string_view text);

// `text` with its first character in title case where it has one (in any
// script); everything else unchanged.
std::string capitalizeFirst(std::string_view text);

// `text` with A–Z lowered; other bytes unchanged.
std::string asciiLowercase(std::string_view text);

}  // namespace Utf8

}  // namespace ebbwise
