#pragma once

#include <optional>
#include <set>
#include <string>

#include "accounting/hardware_reading.h"
#include "accounting/tracker.h"
#include "calibration/hardware_measuring.h"

namespace ebbwise {

// The monitor's per-tick use of the calibration: the hardware estimates the
// live split draws from, and the passive charging-loss measurement, which
// needs the part of the off-chip power those estimates leave unexplained.
namespace HardwareSplit {

// Watts into the battery while charging: what the charger delivers beyond
// what the Mac uses; 0 on battery or without both figures.
double intoBatteryWatts(const Tracker& tracker, bool onAC);

// This tick's hardware reading (models' screen, speakers and keyboard light,
// the charger's heat), after feeding the charging-loss measurement.
HardwareReading forTick(HardwareMeasuring& hardware, const Tracker& tracker,
                        std::optional<double> brightness, bool speakersOn,
                        std::optional<double> keyboardLevel, double intoBattery);

// What keeps the speakers on: the playing rows in name order, each by its
// display title, a browser as "a Safari tab", joined by ", "; nothing when
// none plays.
std::optional<std::string> speakersKeptOnBy(const std::set<std::string>& playingApps);

}  // namespace HardwareSplit

}  // namespace ebbwise
