#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ebbwise {

// Text bound for a terminal. Names that come from other processes can hold
// anything: an escape sequence would rewrite the user's screen, a carriage
// return would overwrite the line, a NUL would cut the output short. Widths are
// in terminal columns: an East Asian wide character takes two, a combining
// mark none, and a grapheme (a letter with its marks, an emoji sequence) is
// never split.
namespace TerminalText {

// `bytes` as well-formed UTF-8 with every character a terminal would act on
// instead of show replaced by U+FFFD: C0 and C1 controls (tab and line breaks
// included), DEL, the line and paragraph separators, and the bidirectional
// embedding, override and isolate controls that reorder what follows. A text
// that starts with a combining mark gets U+25CC before it, so it cannot merge
// with what is printed before.
std::string printable(std::string_view bytes);

// The columns a terminal gives to well-formed, printable `text`.
std::size_t width(std::string_view text);

// The longest run of whole graphemes at the start of `text` that fits in
// `columns`.
std::string_view fit(std::string_view text, std::size_t columns);

// `text` made printable and padded with spaces to exactly `columns`, on the
// right or (with `alignRight`) on the left; a text that does not fit is cut
// and ends with "…".
std::string column(std::string_view text, std::size_t columns, bool alignRight = false);

// `column` on the left for names made of words, such as a command and its
// arguments: a name that does not fit is cut before the word that crosses
// the edge rather than inside it ("node server.js…", not "node serv…"),
// unless that leaves less than a quarter of the column, and never right after a
// separator (" · ").
std::string wordColumn(std::string_view text, std::size_t columns);

}  // namespace TerminalText

}  // namespace ebbwise
