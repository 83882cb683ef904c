#include "base/terminal_text.h"

#include <utf8proc.h>

#include <algorithm>

#include "base/utf8.h"

namespace ebbwise::TerminalText {

namespace {

constexpr std::string_view kEllipsis = "\u2026";

struct Scalar {
  utf8proc_int32_t code = 0;
  std::size_t size = 1;
};

// The scalar at `i`; a byte that starts no well-formed sequence counts as one
// replacement character, so callers handed unchecked text still move on.
Scalar scalarAt(std::string_view text, std::size_t i) {
  Scalar s;
  const auto read = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + i),
                                     static_cast<utf8proc_ssize_t>(text.size() - i), &s.code);
  if (read > 0) {
    s.size = static_cast<std::size_t>(read);
  } else {
    s.code = 0xFFFD;
  }
  return s;
}

bool actsOnTerminal(utf8proc_int32_t code) {
  switch (utf8proc_category(code)) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
      return true;
    default:
      break;
  }
  switch (utf8proc_get_property(code)->bidi_class) {
    case UTF8PROC_BIDI_CLASS_LRE:
    case UTF8PROC_BIDI_CLASS_LRO:
    case UTF8PROC_BIDI_CLASS_RLE:
    case UTF8PROC_BIDI_CLASS_RLO:
    case UTF8PROC_BIDI_CLASS_PDF:
    case UTF8PROC_BIDI_CLASS_LRI:
    case UTF8PROC_BIDI_CLASS_RLI:
    case UTF8PROC_BIDI_CLASS_FSI:
    case UTF8PROC_BIDI_CLASS_PDI:
      return true;
    default:
      return false;
  }
}

// Calls `visit(end, columns)` after each grapheme of `text` with the byte
// offset where it ends and the columns it takes, until `visit` returns false.
// A grapheme is as wide as its widest character: a base letter with its
// marks is one column, an emoji sequence joined by zero-width joiners two.
template <typename Visit>
void forEachGrapheme(std::string_view text, Visit visit) {
  utf8proc_int32_t state = 0;
  utf8proc_int32_t previous = -1;
  int columns = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const Scalar s = scalarAt(text, i);
    if (previous >= 0 && utf8proc_grapheme_break_stateful(previous, s.code, &state)) {
      if (!visit(i, static_cast<std::size_t>(columns))) return;
      columns = 0;
    }
    columns = std::max(columns, utf8proc_charwidth(s.code));
    previous = s.code;
    i += s.size;
  }
  if (previous >= 0) visit(i, static_cast<std::size_t>(columns));
}

}  // namespace

std::string printable(std::string_view bytes) {
  const std::string text = Utf8::decode(bytes);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Scalar s = scalarAt(text, i);
    if (actsOnTerminal(s.code)) {
      out += Utf8::replacementCharacter;
    } else {
      out.append(text, i, s.size);
    }
    i += s.size;
  }
  // A text that starts with a mark (or another character that extends the
  // one before it) would merge into whatever the terminal shows before it;
  // it gets the dotted circle that marks stand on when shown alone.
  if (!out.empty()) {
    utf8proc_int32_t state = 0;
    if (!utf8proc_grapheme_break_stateful(' ', scalarAt(out, 0).code, &state)) {
      out.insert(0, "\u25CC");
    }
  }
  return out;
}

std::size_t width(std::string_view text) {
  std::size_t total = 0;
  forEachGrapheme(text, [&total](std::size_t, std::size_t columns) {
    total += columns;
    return true;
  });
  return total;
}

std::string_view fit(std::string_view text, std::size_t columns) {
  std::size_t used = 0, end = 0;
  forEachGrapheme(text, [&](std::size_t graphemeEnd, std::size_t graphemeColumns) {
    if (used + graphemeColumns > columns) return false;
    used += graphemeColumns;
    end = graphemeEnd;
    return true;
  });
  return text.substr(0, end);
}

std::string column(std::string_view text, std::size_t columns, bool alignRight) {
  std::string shown = printable(text);
  std::size_t shownColumns = width(shown);
  if (shownColumns > columns) {
    if (columns == 0) return {};
    // A wide character that would straddle the cut goes whole, and the gap it
    // leaves is padded, so every row keeps the same width.
    std::string_view head = fit(shown, columns - 1);
    shownColumns = width(head) + 1;
    shown = std::string(head) + std::string(kEllipsis);
  }
  std::string padding(columns - shownColumns, ' ');
  return alignRight ? padding + shown : shown + padding;
}

std::string wordColumn(std::string_view text, std::size_t columns) {
  const std::string shown = printable(text);
  if (columns == 0 || width(shown) <= columns) return column(shown, columns);
  std::string_view head = fit(shown, columns - 1);
  if (shown[head.size()] != ' ') {
    const std::size_t space = head.rfind(' ');
    if (space != std::string_view::npos && width(head.substr(0, space)) >= columns / 4) {
      head = head.substr(0, space);
    }
  }
  constexpr std::string_view kSeparatorDot = "\u00B7";
  while (!head.empty() && (head.back() == ' ' || head.ends_with(kSeparatorDot))) {
    head.remove_suffix(head.back() == ' ' ? 1 : kSeparatorDot.size());
  }
  return column(std::string(head) + std::string(kEllipsis), columns);
}

}  // namespace ebbwise::TerminalText
