#pragma once

namespace ebbwise {

// Whole-system energy measured since the previous take.
struct SystemEnergy {
  double joules = 0;    // drawn by the whole machine
  double inJoules = 0;  // delivered by the power adapter
  double seconds = 0;   // time the two sums cover
  // Whether the adapter's power was read at all over that time. A model
  // without the charger-power key never reads it, and its `inJoules` of 0
  // then means "unknown", not "nothing came in".
  bool inMeasured = false;

  friend bool operator==(const SystemEnergy&, const SystemEnergy&) = default;
};

}  // namespace ebbwise
