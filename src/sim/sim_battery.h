#pragma once

#include "sim/machine_model.h"
#include "sys/value.h"

namespace ebbwise::sim {

// The battery service's registry properties as a Mac publishes them: raw
// capacities in mAh, the system's own percentage, the current (a draining
// battery's as the two's complement in an unsigned count), the voltage at the
// terminals under load, time estimates, temperature, the charger's details
// while one is plugged and the power each USB-C port delivers. The model must
// be synced.
sys::Value batteryProperties(const MachineModel& model);

// The percentage the system shows for a true charge percentage: it reads a
// little high and reaches 100 shortly before the pack is full.
int systemPercent(double rawPercent);

// The percentage the system shows now, from what the gauge last reported.
// The model must be synced.
int shownPercent(const MachineModel& model);

}  // namespace ebbwise::sim
