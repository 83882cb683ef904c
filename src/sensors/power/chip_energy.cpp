#include "sensors/power/chip_energy.h"

#include <array>
#include <string_view>

namespace ebbwise {

namespace {

bool startsWithAny(std::string_view name, std::initializer_list<std::string_view> prefixes) {
  for (auto prefix : prefixes) {
    if (name.starts_with(prefix)) return true;
  }
  return false;
}

// Whether the channel is one core's or one cluster's share of the processor,
// which "CPU Energy" already totals.
//
// First-generation chips name those channels "ECPU", "PCPU0", "ECPM"…, and
// anything starting with "CPU" other than the total is a part as well. Later
// chips name them after the cluster complex: "EACC_CPU0", "PACC0_CPU",
// "PACC_0", and on the newest "MCPU0_0". For those tags the tag must be the
// whole first word of the name, i.e. followed by nothing, a cluster digit or
// "_", so that another block whose name merely begins with the same letters
// ("PACCEL", "MCPUX") still counts as the rest of the chip.
bool isProcessorPart(std::string_view name) {
  if (startsWithAny(name, {"ECPU", "PCPU", "ECPM", "PCPM", "CPU"})) return true;
  static constexpr std::array<std::string_view, 3> kClusterTags = {"EACC", "PACC", "MCPU"};
  for (auto tag : kClusterTags) {
    if (!name.starts_with(tag)) continue;
    if (name.size() == tag.size()) return true;
    const char next = name[tag.size()];
    if (next == '_' || (next >= '0' && next <= '9')) return true;
  }
  return false;
}

}  // namespace

ChipEnergy ChipEnergy::fromChannels(const std::map<std::string, double>& channels) {
  ChipEnergy energy;
  for (const auto& [name, joules] : channels) {
    // Counters that went backwards (or NaN) say nothing about this interval.
    if (!(joules > 0)) continue;
    if (name == "CPU Energy") {
      energy.processor += joules;
    } else if (isProcessorPart(name)) {
      // counted in "CPU Energy"
    } else if (name == "GPU Energy") {
      // duplicates the graphics channels below
    } else if (name.starts_with("GPU")) {
      energy.graphics += joules;
    } else if (startsWithAny(name, {"VDEC", "AVE", "AVD", "ISP"})) {
      energy.video += joules;
    } else {
      energy.memoryAndChip += joules;
    }
  }
  return energy;
}

}  // namespace ebbwise
