#pragma once

#include "app/app_startup.h"
#include "ui/panel_parts.h"

namespace ebbwise {

// What a click on a panel's control does to the application. The panels
// only say which control was clicked; every change goes through the
// monitor's own setters (which store the settings) and actions, or the
// application's update checker.
namespace PanelActions {

enum class Outcome {
  done,     // the model (or the panel's own state) changed, or nothing was asked
  quit,     // the user asked to quit
  ignored,  // an unknown control, or one that cannot act on this system
};

Outcome perform(AppStartup& app, const ui::PanelHotspot& hotspot, ui::PanelUiState& ui);

}  // namespace PanelActions

}  // namespace ebbwise
