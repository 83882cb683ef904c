#pragma once

namespace ebbwise {

// Whole-system energy measured since the previous take.
struct SystemEnergy {
  double joules = 0;    // drawn by the whole machine
  double inJoules = 0;  // delivered by the power adapter
  double seconds = 0;   // time the two sums cover

  friend bool operator==(const SystemEnergy&, const SystemEnergy&) = default;
};

}  // namespace ebbwise
