#pragma once

namespace ebbwise {

// How a lithium-ion cell's voltage falls as it empties, and what that means
// for the energy still in it. The battery reports its charge and its present
// voltage; their product overstates the energy left, because the rest of the
// charge comes out at lower and lower voltages (by about 3 % near empty and
// about 10 % when full). The curve is a typical one for the cobalt and
// nickel-rich cells laptops use; the shape, not the exact voltages, is what
// the correction relies on.
namespace DischargeCurve {

// Open-circuit voltage of one cell at a state of charge (0…1, clamped).
double cellVoltage(double stateOfCharge);

// The mean voltage over the rest of the discharge (from `stateOfCharge` down
// to empty) as a fraction of the voltage now: the charge left times the
// voltage now, times this, is the energy left. 1 at empty or for a state of
// charge that is not a number; below 1 otherwise.
double energyLeftFactor(double stateOfCharge);

}  // namespace DischargeCurve

}  // namespace ebbwise
