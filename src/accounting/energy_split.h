#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounting/app_share.h"
#include "sensors/power/chip_energy.h"
#include "accounting/hardware_reading.h"

namespace ebbwise {

// One row of a live breakdown with the power it stands for.
struct RowWatts {
  AppShare row;
  double watts = 0;

  friend bool operator==(const RowWatts&, const RowWatts&) = default;
};

// Splits measured power or energy into the rows the panel lists: the heaviest
// apps, "Other apps", and rows for what no app accounts for. Apps never claim
// more than was measured; when they report more, they are scaled down to it.
//
// Inputs that are not finite numbers (a garbled counter somewhere upstream)
// are treated as absent entries, or as 0 for single figures; a total that is
// not a finite positive number yields no rows.
namespace EnergySplit {

using WattsByName = std::unordered_map<std::string, double>;

// Apps plus the chip's own rows (or one "System & display" row without chip
// figures). Sorted highest first; rows under 5 mW are left out.
//   chip: the chip's parts in watts over the same window, when known.
//   billedGraphics: the graphics power already billed to processes.
//   limit, minWatts: at most `limit` app rows, each drawing at least `minWatts`;
//   the rest of the apps' power goes to "Other apps".
std::vector<RowWatts> nowBreakdown(const WattsByName& appWatts, double totalWatts,
                                   const std::optional<ChipEnergy>& chip, double billedGraphics,
                                   std::size_t limit, double minWatts);

// The same with the chip rows merged into "macOS itself" and the power outside
// the chip split by the hardware estimates (screen, speakers, keyboard light,
// USB-C devices, charging heat, other hardware). Without chip figures it is
// `nowBreakdown` unchanged.
std::vector<RowWatts> simpleBreakdown(const WattsByName& appWatts, double totalWatts,
                                      const std::optional<ChipEnergy>& chip, double billedGraphics,
                                      const HardwareReading& hardware, std::size_t limit,
                                      double minWatts);

// Fractions of a period's battery energy: the top `limit` apps, "Other apps"
// for the rest, and "System & display" for what the apps do not explain.
// The fractions sum to 1 whenever the apps do not exceed `batteryJoules`.
std::vector<AppShare> shares(const WattsByName& appJoules, double batteryJoules, std::size_t limit);

// The live power of each row of a share list, from the apps' current watts.
WattsByName nowWatts(const std::vector<AppShare>& rows, const WattsByName& appWatts,
                     double totalWatts);

}  // namespace EnergySplit

}  // namespace ebbwise
