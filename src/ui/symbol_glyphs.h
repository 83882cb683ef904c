#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace ebbwise::ui {

// The glyph of the symbol font that stands for a symbol of the platform's
// set. The symbol font is Material Icons (Debian's
// fonts-material-design-icons-iconfont): one well-kept font that has a glyph
// for every symbol the app shows, including battery levels in steps, at
// fixed code points.
struct SymbolGlyph {
  std::string_view symbol;  // the platform's name, "bolt.fill"
  char32_t codePoint = 0;   // in the symbol font
  // Quarter turns clockwise: the font's batteries stand upright, the
  // platform's lie on their side with the tip to the right.
  int quarterTurns = 0;
  // Drawn as an outline of the glyph, for a symbol whose filled form is
  // another symbol ("leaf" beside "leaf.fill").
  bool outline = false;
};

namespace SymbolGlyphs {

// Every symbol the app draws.
std::span<const SymbolGlyph> all();

// Nothing for a name without a glyph.
std::optional<SymbolGlyph> find(std::string_view symbol);

}  // namespace SymbolGlyphs

}  // namespace ebbwise::ui
