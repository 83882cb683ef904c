#pragma once

#include "sim/machine_model.h"

namespace ebbwise::sim {

// Whether the kernel's resource-usage call for live process `i` fails at the
// model's present instant, as it now and then does on a real machine (the
// process is busy exiting or exec'ing, or the kernel is short of memory). A
// share of the calls given by the scenario's "energyReadFailures" fails;
// which ones is drawn from the machine's seed, the process and the second,
// so every run and every call within one second answers alike.
bool energyReadFails(const MachineModel& model, int i);

}  // namespace ebbwise::sim
