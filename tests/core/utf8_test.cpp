#include "core/utf8.h"

#include <gtest/gtest.h>

namespace ebbwise {
namespace {

using namespace std::string_literals;

TEST(Utf8Decode, ReplacesEachIllFormedSubsequenceOnce) {
  const std::pair<std::string, std::string> cases[] = {
      {"\u00E9\u20AC\U0001F600\0"s, "\u00E9\u20AC\U0001F600\0"s},
      {"a\x80z", "a\uFFFDz"},                            // stray continuation
      {"a\xC3", "a\uFFFD"},                              // cut at the end
      {"\xE2\x82z", "\uFFFDz"},                          // cut before ASCII
      {"\xE2\xC3\xA9", "\uFFFD\u00E9"},                  // cut by another lead
      {"\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xF5\xFF", "\uFFFD\uFFFD"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(Utf8::decode(std::string_view(bytes)), text);
}

TEST(Utf8Text, CountsSplitsAndCapitalizesWholeCharacters) {
  const std::string text = "a\u00E9\u20AC\U0001F600b";
  EXPECT_EQ(Utf8::length(text), 5u);
  EXPECT_EQ(Utf8::prefix(text, 4), "a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf8::prefix(text, 99), text);
  EXPECT_EQ(Utf8::splitWhitespace(" a\tb\r\n\u00A0c\u2003d\u3000 "),
            (std::vector<std::string_view>{"a", "b", "c", "d"}));

  const std::pair<const char*, const char*> capitals[] = {
      {"", ""},
      {"\u0142\u00F3d\u017A", "\u0141\u00F3d\u017A"},
      {"\u03B1\u03B2", "\u0391\u03B2"},
      {"\u65E5\u672C", "\u65E5\u672C"},
  };
  for (const auto& [in, out] : capitals) EXPECT_EQ(Utf8::capitalizeFirst(in), out) << in;
}

}  // namespace
}  // namespace ebbwise
