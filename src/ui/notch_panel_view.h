#pragma once

#include "ui/canvas.h"
#include "ui/panel_input.h"
#include "ui/panel_parts.h"

namespace ebbwise::ui {

// The panel under the notch: the current power and the charge state, the
// charger, the rows worth a look now, Low Power Mode, the onboarding tip,
// connected devices and the settings menu.
namespace NotchPanelView {

inline constexpr double width = 420;
inline constexpr double spacing = 12;  // between sections

// Draws the panel at the origin; where its parts went.
PanelLayout draw(Canvas& canvas, const PanelInput& input, const PanelUiState& ui = {});

// The same layout without drawing (texts measured with `fonts`).
PanelLayout layout(Canvas& fonts, const PanelInput& input, const PanelUiState& ui = {});

}  // namespace NotchPanelView

}  // namespace ebbwise::ui
