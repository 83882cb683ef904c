#include "core/utf8.h"

#include <gtest/gtest.h>

namespace ebbwise {
namespace {

using namespace std::string_literals;

TEST(Utf8Decode, ReplacesEachIllFormedSubsequenceOnce) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"ascii", "abc", "abc"},
      {"valid multi-byte", "\u00E9\u20AC\U0001F600", "\u00E9\u20AC\U0001F600"},
      {"NUL kept", "a\0b"s, "a\0b"s},
      {"stray continuation", "a\x80z", "a\uFFFDz"},
      {"lone lead at the end", "a\xC3", "a\uFFFD"},
      {"truncated three-byte then ASCII", "\xE2\x82z", "\uFFFDz"},
      {"lead interrupted by another lead", "\xE2\xC3\xA9", "\uFFFD\u00E9"},
      {"overlong two-byte", "\xC0\xAF", "\uFFFD\uFFFD"},
      {"overlong three-byte", "\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD"},
      {"surrogate", "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"invalid leads", "\xF5\xFF\xFE", "\uFFFD\uFFFD\uFFFD"},
      {"largest scalar", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8::decode(std::string_view(c.bytes)), c.expected) << c.name;
  }
}

TEST(Utf8Text, CountsAndCutsWholeCharacters) {
  const std::string text = "a\u00E9\u20AC\U0001F600b";
  EXPECT_EQ(Utf8::length(text), 5u);
  EXPECT_EQ(Utf8::prefix(text, 0), "");
  EXPECT_EQ(Utf8::prefix(text, 2), "a\u00E9");
  EXPECT_EQ(Utf8::prefix(text, 4), "a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf8::prefix(text, 99), text);
}

TEST(Utf8Text, SplitsAtAnyWhiteSpace) {
  EXPECT_EQ(Utf8::splitWhitespace(" a\tb\r\n\u00A0c\u2003d\u3000 "),
            (std::vector<std::string_view>{"a", "b", "c", "d"}));
  EXPECT_TRUE(Utf8::splitWhitespace(" \n\u2028").empty());
  EXPECT_EQ(Utf8::splitWhitespace("caf\u00E9"), (std::vector<std::string_view>{"caf\u00E9"}));
}

TEST(Utf8Text, CapitalizesTheFirstLetter) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"webapp", "Webapp"},
      {"Webapp", "Webapp"},
      {"2fa", "2fa"},
      {"\u00E9cole", "\u00C9cole"},
      {"\u00FFx", "\u0178x"},
      {"\u0142\u00F3d\u017A", "\u0141\u00F3d\u017A"},
      {"\u017Ar\u00F3d\u0142o", "\u0179r\u00F3d\u0142o"},
      {"\u0131", "I"},
      {"\u03B1\u03B2", "\u0391\u03B2"},
      {"\u0434\u043E\u043C", "\u0414\u043E\u043C"},
      {"\u0451\u0436", "\u0401\u0436"},
      {"\u65E5\u672C", "\u65E5\u672C"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8::capitalizeFirst(c.text), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace ebbwise
