#include "ui/font_library.h"

#include <pango/pangocairo.h>
#include <strings.h>

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
