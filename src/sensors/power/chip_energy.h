#pragma once

#include <map>
#include <string>

namespace ebbwise {

// Energy of the chip's parts over one interval, in joules (or, as the
// tracker's windowed figures, in watts). Never negative.
struct ChipEnergy {
  double processor = 0;
  double graphics = 0;
  double video = 0;
  double memoryAndChip = 0;

  ChipEnergy() = default;
  ChipEnergy(double processor, double graphics, double video, double memoryAndChip)
      : processor(processor), graphics(graphics), video(video), memoryAndChip(memoryAndChip) {}

  // Sorts named energy-model channels (joules) into the four parts.
  static ChipEnergy fromChannels(const std::map<std::string, double>& channels);

  double total() const { return processor + graphics + video + memoryAndChip; }

  friend bool operator==(const ChipEnergy&, const ChipEnergy&) = default;
};

}  // namespace ebbwise
