#pragma once

// The "machine" part of a scenario file.

#include <string>

#include "sim/scenario.h"
#include "sys/value.h"

namespace ebbwise::sim::scenario_object {

// Throws `Problem` naming the first field that cannot be read.
MachineSetup readMachine(const sys::Value& v, const std::string& path);

}  // namespace ebbwise::sim::scenario_object
