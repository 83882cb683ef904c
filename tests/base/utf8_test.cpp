#include "base/utf8.h"

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

TEST(Utf8Text, CapitalizeFirstUsesTitleCaseInAnyScript) {
  const std::pair<std::string, std::string> cases[] = {
      {"project", "Project"},
      {"\u00E9t\u00E9", "\u00C9t\u00E9"},
      {"\u03C9mega", "\u03A9mega"},
      {"\u0436\u0443\u043A", "\u0416\u0443\u043A"},
      {"\u0561\u0580\u0587", "\u0531\u0580\u0587"},  // Armenian
      {"\u01C6emal", "\u01C5emal"},                  // a digraph starts in title case
      {"\u5FAE\u4FE1", "\u5FAE\u4FE1"},
      {"", ""},
  };
  for (const auto& [text, capitalized] : cases) EXPECT_EQ(Utf8::capitalizeFirst(text), capitalized);
}

TEST(Utf8Text, SplitWhitespaceKnowsUnicodeSpaces) {
  using Pieces = std::vector<std::string_view>;
  EXPECT_EQ(Utf8::splitWhitespace("a\u3000b\u2029c\t d\u00A0e\u0085f\u2007g"),
            (Pieces{"a", "b", "c", "d", "e", "f", "g"}));
  // Zero-width characters join rather than separate.
  EXPECT_EQ(Utf8::splitWhitespace(" a\u200Bb\u200Dc "), (Pieces{"a\u200Bb\u200Dc"}));
  EXPECT_EQ(Utf8::splitWhitespace(" \n\u3000 "), Pieces{});
}

}  // namespace
}  // namespace ebbwise
