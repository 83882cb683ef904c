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
namespace PanelInputs {

ui::NotchViewInput notch(const Monitor& monitor);
// Not const: the details of the rows' processes are fetched on first use
// and kept by the monitor.
ui::PanelInput panel(Monitor& monitor, sys::Date now);
// What the calibration overlay shows; nothing while no run is under way.
std::optional<ui::CalibrationMessageInput> overlay(const Monitor& monitor);

// The rows worth a look now: the screen's row, browsers playing sound and
// heavy apps, in the order of `rows`.
std::vector<RowWatts> usefulLines(const std::vector<RowWatts>& rows,
                                  const std::set<std::string>& playingApps,
                                  const std::vector<std::pair<std::string, double>>& hogs);

// What `row` tells about its processes, for rows the user may stop: the
// developer tools (coding-agent sessions among them) and the heavy apps.
// Nothing for other rows and rows without a process of their own.
std::optional<ui::RowFacts> rowFacts(Monitor& monitor, const std::string& row, sys::Date now);

// Whether a stop of `row` is still under way: one of the processes it would
// signal was sent a stop already and runs on. The next stop then kills.
bool stopUnderWay(const Monitor& monitor, const std::string& row);

}  // namespace PanelInputs

}  // namespace ebbwise
