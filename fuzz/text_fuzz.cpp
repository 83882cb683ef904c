// Text helpers: decoding bytes from other processes and fitting text to a
// terminal.

#include <cstdint>

#include "base/terminal_text.h"
#include "base/utf8.h"
#include "fuzz_input.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const std::size_t columns = input.take<std::uint8_t>() % 64;
  const std::string_view bytes = input.remainingText();

  const std::string text = Utf8::decode(bytes);
  FUZZ_CHECK(Utf8::decode(text) == text);  // well-formed: nothing left to replace
  FUZZ_CHECK(Utf8::length(text) <= text.size());
  const std::string_view head = Utf8::prefix(text, columns);
  FUZZ_CHECK(text.starts_with(head) && Utf8::decode(head) == head);
  FUZZ_CHECK(Utf8::length(head) == std::min(columns, Utf8::length(text)));
  for (std::string_view piece : Utf8::splitWhitespace(text)) {
    FUZZ_CHECK(!piece.empty() && Utf8::decode(piece) == piece);
  }
  const std::string capitalized = Utf8::capitalizeFirst(text);
  FUZZ_CHECK(Utf8::decode(capitalized) == capitalized);
  FUZZ_CHECK(Utf8::asciiLowercase(bytes).size() == bytes.size());

  const std::string shown = TerminalText::printable(bytes);
  FUZZ_CHECK(Utf8::decode(shown) == shown);
  for (unsigned char c : shown) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
  FUZZ_CHECK(TerminalText::printable(shown) == shown);
  const std::string_view fitted = TerminalText::fit(shown, columns);
  FUZZ_CHECK(shown.starts_with(fitted) && TerminalText::width(fitted) <= columns);
  FUZZ_CHECK(TerminalText::width(TerminalText::column(bytes, columns)) == columns);
  FUZZ_CHECK(TerminalText::width(TerminalText::column(bytes, columns, true)) == columns);
  // Unchecked text is measured without reading past its end.
  TerminalText::width(bytes);
  TerminalText::fit(bytes, columns);
  return 0;
}
