#pragma once

#include "sim/scenario.h"

namespace ebbwise::sim {

// A parsed scenario is already in shape; one built in code may not be. These
// keep every value in the range the machine model relies on: no negative
// power, no fluctuation that could make a slot's power negative, events in
// time order, and sleeps sorted and apart.
Scenario normalizedScenario(Scenario s);
Load normalizedLoad(Load l);

}  // namespace ebbwise::sim
