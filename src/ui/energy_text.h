#pragma once

#include <optional>
#include <string>

#include "display_rules/power_format.h"
#include "sensors/power/battery_reading.h"

namespace ebbwise::ui {

// Energies as the panels show them, in the unit the user chose.
namespace EnergyText {

// Watt-hours ("12 Wh" from 10 Wh on, "0.5 Wh" below), or a share of the
// battery ("12%", "0.4%") when the unit is percent per hour and the battery's
// capacity is known. Figures that are not numbers show as 0.
std::string string(double joules, PowerUnit unit, const std::optional<BatteryReading>& battery);

// The smallest energy worth a row: 0.05 Wh, or 0.05% of the battery in
// percent-per-hour mode when its capacity is known.
double shownAsZero(PowerUnit unit, const std::optional<BatteryReading>& battery);

}  // namespace EnergyText

}  // namespace ebbwise::ui
