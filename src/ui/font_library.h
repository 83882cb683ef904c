#pragma once

#include <string>
#include <string_view>
#include <vector>

typedef struct _PangoFontMap PangoFontMap;

namespace ebbwise::ui {

struct FontFamilies {
  std::string text = "Inter";              // Debian fonts-inter
  std::string symbols = "Material Icons";  // Debian fonts-material-design-icons-iconfont
};

// The fonts the views draw with, found once through fontconfig. A missing
// text font leaves Pango's stand-in; a missing symbol font makes every
// symbol a drawn outline. Either way drawing goes on, and `problems` says
// what is missing in words a user can act on.
class FontLibrary {
 public:
  explicit FontLibrary(FontFamilies families = {});
  ~FontLibrary();
  FontLibrary(const FontLibrary&) = delete;
  FontLibrary& operator=(const FontLibrary&) = delete;

  const FontFamilies& families() const { return families_; }
  bool hasTextFont() const { return hasText_; }
  bool hasSymbolFont() const { return hasSymbols_; }

  // Whether the symbol font has a glyph for `symbol` (a name of the
  // platform's symbol set); one without is drawn as a plain outline.
  bool hasGlyph(std::string_view symbol) const;

  // One sentence per missing font; empty when both are there.
  std::vector<std::string> problems() const;

  PangoFontMap* fontMap() const { return fontMap_; }

 private:
  FontFamilies families_;
  PangoFontMap* fontMap_ = nullptr;
  bool hasText_ = false;
  bool hasSymbols_ = false;
};

}  // namespace ebbwise::ui
