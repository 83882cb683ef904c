#pragma once

#include "app/monitor.h"
#include "ui/panel_parts.h"

namespace ebbwise {

// What a click on a panel's control does to the application model. The
// panels only say which control was clicked; every change goes through the
// monitor's own setters, which store the settings.
namespace PanelActions {

enum class Outcome {
  done,     // the model (or the panel's own state) changed, or nothing was asked
  quit,     // the user asked to quit
  ignored,  // a control whose action this build does not offer yet
};

Outcome perform(Monitor& monitor, const ui::PanelHotspot& hotspot, ui::PanelUiState& ui);

}  // namespace PanelActions

}  // namespace ebbwise
