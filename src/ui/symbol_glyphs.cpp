#include "ui/symbol_glyphs.h"

#include <algorithm>
#include <array>

namespace ebbwise::ui {

namespace {

// Each symbol's nearest glyph in Material Icons (its name in that set after
// the code point).
constexpr std::array kGlyphs = {
    // Power source beside the notch.
    SymbolGlyph{"bolt.fill", 0xEA0B},              // bolt
    SymbolGlyph{"powerplug.fill", 0xE63C},         // power
    SymbolGlyph{"battery.100percent", 0xE1A4, 1},  // battery_full
    SymbolGlyph{"battery.75percent", 0xEBD4, 1},   // battery_5_bar
    SymbolGlyph{"battery.50percent", 0xEBDD, 1},   // battery_3_bar
    SymbolGlyph{"battery.25percent", 0xEBE0, 1},   // battery_2_bar
    SymbolGlyph{"battery.0percent", 0xEBDC, 1},    // battery_0_bar
    SymbolGlyph{"battery", 0xE1A5, 1},             // battery_std
    SymbolGlyph{"leaf.fill", 0xEA35},              // eco
    SymbolGlyph{"leaf", 0xEA35, 0, true},          // eco, outlined
    // Warnings and notes.
    SymbolGlyph{"exclamationmark.triangle.fill", 0xE002},  // warning
    SymbolGlyph{"clock.badge.checkmark", 0xE858},          // alarm_on
    SymbolGlyph{"thermometer.high", 0xE1FF},               // device_thermostat
    SymbolGlyph{"ellipsis.circle", 0xEF64},                // pending
    SymbolGlyph{"gearshape", 0xE8B8},                      // settings
    // Rows.
    SymbolGlyph{"gearshape.2", 0xF10C},             // miscellaneous_services
    SymbolGlyph{"sun.max", 0xE518},                 // light_mode
    SymbolGlyph{"speaker.wave.2", 0xE050},          // volume_up
    SymbolGlyph{"light.max", 0xE3AC},               // brightness_7
    SymbolGlyph{"rectangle.3.group", 0xE9B0},       // grid_view
    SymbolGlyph{"rectangle.on.rectangle", 0xE3E0},  // filter_none
    SymbolGlyph{"play.rectangle", 0xF06A},          // smart_display
    SymbolGlyph{"cpu", 0xE322},                     // memory
    SymbolGlyph{"display", 0xEF5B},                 // monitor
    SymbolGlyph{"square.stack", 0xE53B},            // layers
    SymbolGlyph{"flame", 0xEF55},                   // local_fire_department
    SymbolGlyph{"applewatch", 0xE334},              // watch
    SymbolGlyph{"iphone", 0xE325},                  // phone_iphone
    SymbolGlyph{"ipad", 0xE331},                    // tablet_mac
    SymbolGlyph{"cable.connector", 0xEFE6},         // cable
    SymbolGlyph{"terminal", 0xEB8E},                // terminal
    // Connected devices.
    SymbolGlyph{"computermouse", 0xE323},                     // mouse
    SymbolGlyph{"keyboard", 0xE312},                          // keyboard
    SymbolGlyph{"airpodspro", 0xF003},                        // earbuds
    SymbolGlyph{"rectangle.and.hand.point.up.left", 0xE913},  // touch_app
    SymbolGlyph{"dot.radiowaves.left.and.right", 0xE51E},     // sensors
};

}  // namespace

namespace SymbolGlyphs {

std::span<const SymbolGlyph> all() {
  return kGlyphs;
}

std::optional<SymbolGlyph> find(std::string_view symbol) {
  auto it = std::find_if(kGlyphs.begin(), kGlyphs.end(),
                         [&](const SymbolGlyph& g) { return g.symbol == symbol; });
  if (it == kGlyphs.end()) return std::nullopt;
  return *it;
}

}  // namespace SymbolGlyphs

}  // namespace ebbwise::ui
