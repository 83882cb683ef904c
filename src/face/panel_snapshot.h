#pragma once

#include <optional>
#include <string>

#include "app/monitor.h"
#include "ui/font_library.h"
#include "ui/image_canvas.h"
#include "ui/panel_input.h"

namespace ebbwise {

// The picture of the open notch panel that `--render-panel` writes: the
// notch view with its panel open, in a frame of 560 × 760 points on an
// opaque grey (white level 0.55), at two pixels a point.
namespace PanelSnapshot {

inline constexpr double frameWidth = 560;
inline constexpr double frameHeight = 760;
inline constexpr double scale = 2;
inline constexpr double notchWidth = 179;
inline constexpr double notchHeight = 32;
inline constexpr double background = 0.55;

// Draws the picture of `input` (1120 × 1520 pixels).
std::unique_ptr<ui::ImageCanvas> render(const ui::PanelInput& input, const ui::FontLibrary& fonts);

// Renders the monitor's state at `now` and writes it to `path` as PNG;
// nothing when written, else why not.
std::optional<std::string> write(Monitor& monitor, sys::Date now, const std::string& path,
                                 const ui::FontLibrary& fonts);

}  // namespace PanelSnapshot

}  // namespace ebbwise
