#include "ui/font_library.h"

#include <pango/pangocairo.h>
#include <strings.h>

#include "ui/symbol_glyphs.h"

namespace ebbwise::ui {

namespace {

bool hasFamily(PangoFontMap* map, const std::string& name) {
  PangoFontFamily** families = nullptr;
  int count = 0;
  pango_font_map_list_families(map, &families, &count);
  bool found = false;
  for (int i = 0; i < count && !found; ++i) {
    found = strcasecmp(pango_font_family_get_name(families[i]), name.c_str()) == 0;
  }
  g_free(families);
  return found;
}

}  // namespace

FontLibrary::FontLibrary(FontFamilies families)
    : families_(std::move(families)), fontMap_(pango_cairo_font_map_new()) {
  hasText_ = hasFamily(fontMap_, families_.text);
  hasSymbols_ = hasFamily(fontMap_, families_.symbols);
}

FontLibrary::~FontLibrary() {
  g_object_unref(fontMap_);
}

bool FontLibrary::hasGlyph(std::string_view symbol) const {
  std::optional<SymbolGlyph> glyph = SymbolGlyphs::find(symbol);
  if (!glyph || !hasSymbols_) return false;
  PangoContext* context = pango_font_map_create_context(fontMap_);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, families_.symbols.c_str());
  pango_font_description_set_absolute_size(font, 24 * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  gunichar c = glyph->codePoint;
  char text[8] = {};
  g_unichar_to_utf8(c, text);
  pango_layout_set_text(layout, text, -1);
  PangoRectangle ink;
  pango_layout_get_extents(layout, &ink, nullptr);
  bool found = pango_layout_get_unknown_glyphs_count(layout) == 0 && ink.width > 0;
  g_object_unref(layout);
  g_object_unref(context);
  return found;
}

std::vector<std::string> FontLibrary::problems() const {
  std::vector<std::string> out;
  if (!hasText_) {
    out.push_back("The text font \"" + families_.text +
                  "\" is not installed, so texts are drawn in a stand-in font "
                  "(Debian package fonts-inter).");
  }
  if (!hasSymbols_) {
    out.push_back("The symbol font \"" + families_.symbols +
                  "\" is not installed, so symbols are drawn as plain outlines "
                  "(Debian package fonts-material-design-icons-iconfont).");
  }
  return out;
}

}  // namespace ebbwise::ui
