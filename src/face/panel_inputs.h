#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/monitor.h"
#include "ui/calibration_message.h"
#include "ui/notch_view.h"
#include "ui/panel_input.h"

namespace ebbwise {

// Builds the plain values the views draw from what the monitor publishes.
// This is the one place that knows both sides: the views stay free of the
// model, and the model of the views.
//
// Still absent here until the monitor publishes them: the since-charge
// ledger (the bars), process details of development sessions, the Low Power
// Mode switch's error and the app keeping the speakers on.
namespace PanelInputs {

ui::NotchViewInput notch(const Monitor& monitor);
ui::PanelInput panel(const Monitor& monitor, sys::Date now);
// What the calibration overlay shows; nothing while no run is under way.
std::optional<ui::CalibrationMessageInput> overlay(const Monitor& monitor);

// The rows worth a look now: the screen's row, browsers playing sound and
// heavy apps, in the order of `rows`.
std::vector<RowWatts> usefulLines(const std::vector<RowWatts>& rows,
                                  const std::set<std::string>& playingApps,
                                  const std::vector<std::pair<std::string, double>>& hogs);

}  // namespace PanelInputs

}  // namespace ebbwise
