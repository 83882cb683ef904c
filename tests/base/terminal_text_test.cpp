#include "base/terminal_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace ebbwise {
namespace {

using namespace std::string_literals;

TEST(TerminalText, PrintableReplacesWhatActsOnTheTerminal) {
  const std::pair<std::string, std::string> cases[] = {
      {"Caf\u00E9 \u5FAE\u4FE1 \U0001F44D\U0001F3FD",
       "Caf\u00E9 \u5FAE\u4FE1 \U0001F44D\U0001F3FD"},
      {"\x1B]0;owned\x07"
       "Evil",
       "\uFFFD]0;owned\uFFFDEvil"},  // title change and bell
      {"\x1B[2J\x1B[H", "\uFFFD[2J\uFFFD[H"},
      {"cut\0here"s, "cut\uFFFDhere"},
      {"a\rb\nc\td\x7F", "a\uFFFDb\uFFFDc\uFFFDd\uFFFD"},
      {"\u009B31m", "\uFFFD31m"},                        // C1 control sequence introducer
      {"abc\u202Edcb", "abc\uFFFDdcb"},                  // right-to-left override
      {"x\u2066y\u2069", "x\uFFFDy\uFFFD"},              // isolates
      {"line\u2028para\u2029", "line\uFFFDpara\uFFFD"},  // separators
      {"bad\xFF\xC3", "bad\uFFFD\uFFFD"},                // not UTF-8
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F468\u200D\U0001F469\u200D\U0001F467"},
      // A leading mark would join the cell before it.
      {"\u0301\U0001F3FD x", "\u25CC\u0301\U0001F3FD x"},
      {"\u200Dx", "\u25CC\u200Dx"},
      {"", ""},
  };
  for (const auto& [bytes, shown] : cases)
    EXPECT_EQ(TerminalText::printable(bytes), shown) << bytes;
}

TEST(TerminalText, WidthCountsColumnsPerGrapheme) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"", 0},
      {"Safari", 6},
      {"\u5FAE\u4FE1", 4},                                // wide
      {"\uD55C\uAE00", 4},                                // Hangul syllables
      {"\u1112\u1161\u11AB", 2},                          // the same, as jamo
      {"e\u0301te\u0301", 3},                             // combining marks
      {"\U0001F44D\U0001F3FD", 2},                        // emoji with a skin tone
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 2},  // one family
      {"\uFF21\uFF22", 4},                                // fullwidth Latin
      {"\u2026", 1},
  };
  for (const auto& [text, columns] : cases) EXPECT_EQ(TerminalText::width(text), columns) << text;
}

TEST(TerminalText, FitNeverSplitsAGrapheme) {
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"abc", 5, "abc"},
      {"abc", 2, "ab"},
      {"\u5FAE\u4FE1x", 3, "\u5FAE"},          // the second wide one needs 2
      {"e\u0301x", 1, "e\u0301"},              // the mark stays with its letter
      {"\U0001F468\u200D\U0001F469x", 1, ""},  // the sequence goes whole or not at all
      {"\U0001F468\u200D\U0001F469x", 2, "\U0001F468\u200D\U0001F469"},
  };
  for (const auto& [text, columns, head] : cases) {
    EXPECT_EQ(TerminalText::fit(text, columns), head) << text << " in " << columns;
  }
}

TEST(TerminalText, ColumnIsAlwaysExactlyItsWidth) {
  const std::tuple<std::string, std::size_t, bool, std::string> cases[] = {
      {"Mail", 6, false, "Mail  "},
      {"Mail", 6, true, "  Mail"},
      {"\u5FAE\u4FE1", 6, false, "\u5FAE\u4FE1  "},
      {"Google Chrome", 8, false, "Google \u2026"},
      {"\u5FAE\u4FE1\u5FAE\u4FE1", 6, false, "\u5FAE\u4FE1\u2026 "},  // no half character
      {"\u5FAE\u4FE1\u5FAE\u4FE1", 6, true, " \u5FAE\u4FE1\u2026"},
      {"re\u0301sume\u0301", 6, false, "re\u0301sume\u0301"},
      {"\x1B[31mred", 8, false, "\uFFFD[31mred"},
      {"anything", 0, false, ""},
      {"\u0301\U0001F3FD", 4, true, "  \u25CC\u0301\U0001F3FD"},
  };
  for (const auto& [text, columns, right, cell] : cases) {
    const std::string got = TerminalText::column(text, columns, right);
    EXPECT_EQ(got, cell) << text;
    EXPECT_EQ(TerminalText::width(got), columns) << text;
  }
}

TEST(TerminalText, WordColumnCutsBetweenArguments) {
  struct Case {
    const char* text;
    std::size_t columns;
    const char* shown;
  };
  const Case cases[] = {
      {"Safari", 10, "Safari    "},
      {"node server.js --port 3000", 20, "node server.js\u2026     "},
      // Never a separator left hanging before the cut.
      {"Webapp \u00B7 node_modules/next/dist/server.js", 20, "Webapp\u2026             "},
      // One long argument is cut inside rather than left nearly empty.
      {"com.docker.virtualization --kernel", 12, "com.docker.\u2026"},
      {"a verylongargumentindeed", 12, "a verylonga\u2026"},
      {"x", 0, ""},
  };
  for (const auto& c : cases) {
    const std::string shown = TerminalText::wordColumn(c.text, c.columns);
    EXPECT_EQ(shown, c.shown) << c.text;
    EXPECT_EQ(TerminalText::width(shown), c.columns) << c.text;
  }
}

}  // namespace
}  // namespace ebbwise
