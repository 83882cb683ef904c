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

}  // namespace
}  // namespace ebbwise
