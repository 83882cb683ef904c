#include "base/utf8.h"

#include <utf8proc.h>

namespace ebbwise::Utf8 {

namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Decodes the scalar starting at `i` in well-formed text and moves past it.
char32_t next(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  char32_t scalar = lead & (0x3F >> extra);
  while (extra-- > 0 && i < text.size()) {
    scalar = (scalar << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  return scalar;
}

void append(std::string& out, char32_t scalar) {
  if (scalar < 0x80) {
    out += static_cast<char>(scalar);
  } else if (scalar < 0x800) {
    out += static_cast<char>(0xC0 | (scalar >> 6));
    out += static_cast<char>(0x80 | (scalar & 0x3F));
  } else if (scalar < 0x10000) {
    out += static_cast<char>(0xE0 | (scalar >> 12));
    out += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (scalar & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (scalar >> 18));
    out += static_cast<char>(0x80 | ((scalar >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (scalar & 0x3F));
  }
}

// Unicode's space separators and line breaks, and the ASCII controls that
// break text (tab to carriage return, and NEL).
bool isWhitespace(char32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_ZS:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string decode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    // The allowed range of the first continuation byte narrows for leads that
    // could otherwise spell overlong forms, surrogates or values past U+10FFFF.
    int need = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out += replacementCharacter;
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      if (j >= n) {
        ok = false;
        break;
      }
      const auto byte = static_cast<unsigned char>(bytes[j]);
      if (byte < low || byte > high) {
        ok = false;
        break;
      }
      low = 0x80;
      high = 0xBF;
    }
    if (ok) {
      out.append(bytes.substr(i, j - i));
    } else {
      // The offending byte is not consumed: it may start the next sequence.
      out += replacementCharacter;
    }
    i = j;
  }
  return out;
}

std::string decode(std::span<const std::uint8_t> bytes) {
  return decode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::size_t length(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += !isContinuation(static_cast<unsigned char>(c));
  return count;
}

std::string_view prefix(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t taken = 0; taken < count && i < text.size(); ++taken) {
    ++i;
    while (i < text.size() && isContinuation(static_cast<unsigned char>(text[i]))) ++i;
  }
  return text.substr(0, i);
}

std::vector<std::string_view> splitWhitespace(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0, i = 0;
  while (i < text.size()) {
    const std::size_t at = i;
    if (isWhitespace(next(text, i))) {
      if (at > start) pieces.push_back(text.substr(start, at - start));
      start = i;
    }
  }
  if (text.size() > start) pieces.push_back(text.substr(start));
  return pieces;
}

std::string capitalizeFirst(std::string_view text) {
  if (text.empty()) return {};
  std::size_t i = 0;
  const char32_t first = next(text, i);
  std::string out;
  out.reserve(text.size() + 1);
  // Title case, not upper case: a digraph such as "ǆ" starts a word as "ǅ".
  append(out, static_cast<char32_t>(utf8proc_totitle(static_cast<utf8proc_int32_t>(first))));
  out.append(text.substr(i));
  return out;
}

std::string asciiLowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace ebbwise::Utf8
