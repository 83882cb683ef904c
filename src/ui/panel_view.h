#pragma once

#include "ui/canvas.h"
#include "ui/panel_input.h"
#include "ui/panel_parts.h"

namespace ebbwise::ui {

// The larger panel of the menu-bar item: the status line and the range
// picker, the range's summary, its charts, the app list with shares and a
// settings menu.
namespace PanelView {

inline constexpr double width = 400;

// Actions of the range picker's segments carry the range in `choice`.
inline constexpr const char* rangeAction = "range";

PanelLayout draw(Canvas& canvas, const PanelInput& input, const PanelUiState& ui = {});
PanelLayout layout(Canvas& fonts, const PanelInput& input, const PanelUiState& ui = {});

}  // namespace PanelView

}  // namespace ebbwise::ui
