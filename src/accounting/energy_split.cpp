#include "accounting/energy_split.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>
#include <unordered_set>

namespace ebbwise::EnergySplit {

namespace {

// Rows below this are noise and would only clutter the list.
constexpr double kSmallestRow = 0.005;

struct Named {
  std::string name;
  double value = 0;
};

double finiteOr0(double v) {
  return std::isfinite(v) ? v : 0;
}

bool isPositiveTotal(double total) {
  return total > 0 && std::isfinite(total);
}

// The finite entries of a map and their sum.
std::vector<Named> finiteEntries(const WattsByName& map, double& sum) {
  std::vector<Named> entries;
  entries.reserve(map.size());
  sum = 0;
  for (const auto& [name, value] : map) {
    if (!std::isfinite(value)) continue;
    entries.push_back({name, value});
    sum += value;
  }
  return entries;
}

// An entry of a map that outlives it: the live breakdown runs every tick
// over every app, and only the few rows it shows need their names copied.
struct Borrowed {
  const std::string* name = nullptr;
  double value = 0;
};

// The finite entries of a map and their sum, without copying the names.
std::vector<Borrowed> borrowFiniteEntries(const WattsByName& map, double& sum) {
  std::vector<Borrowed> entries;
  entries.reserve(map.size());
  sum = 0;
  for (const auto& [name, value] : map) {
    if (!std::isfinite(value)) continue;
    entries.push_back({&name, value});
    sum += value;
  }
  return entries;
}

// Highest first; equal values by name so that results do not depend on the
// map's iteration order.
void sortByValueThenName(std::vector<Named>& entries) {
  std::ranges::sort(entries, [](const Named& a, const Named& b) {
    if (a.value != b.value) return a.value > b.value;
    return a.name < b.name;
  });
}

void sortByValueThenName(std::vector<Borrowed>& entries) {
  std::ranges::sort(entries, [](const Borrowed& a, const Borrowed& b) {
    if (a.value != b.value) return a.value > b.value;
    return *a.name < *b.name;
  });
}

// Drops negligible (and non-finite) rows, attaches fractions of `total` and
// orders highest first, keeping equal rows in their order.
std::vector<RowWatts> finish(const std::vector<Named>& rows, double total, double scale) {
  std::vector<RowWatts> out;
  out.reserve(rows.size());
  for (const auto& r : rows) {
    double watts = scale * r.value;
    if (!(watts >= kSmallestRow) || !std::isfinite(watts)) continue;
    out.push_back({AppShare{r.name, watts / total}, watts});
  }
  std::ranges::stable_sort(out, std::greater{}, &RowWatts::watts);
  return out;
}

ChipEnergy finiteParts(const ChipEnergy& c) {
  return ChipEnergy(finiteOr0(c.processor), finiteOr0(c.graphics), finiteOr0(c.video),
                    finiteOr0(c.memoryAndChip));
}

}  // namespace

std::vector<RowWatts> nowBreakdown(const WattsByName& appWatts, double totalWatts,
                                   const std::optional<ChipEnergy>& chip, double billedGraphics,
                                   std::size_t limit, double minWatts) {
  if (!isPositiveTotal(totalWatts)) return {};
  billedGraphics = finiteOr0(billedGraphics);
  std::optional<ChipEnergy> parts;
  if (chip) parts = finiteParts(*chip);

  double appSum = 0;
  std::vector<Borrowed> apps = borrowFiniteEntries(appWatts, appSum);
  // With chip figures, apps can only have drawn what the processor drew plus
  // the graphics work billed to them; the rest of the total is elsewhere.
  double cap = parts ? parts->processor + billedGraphics : totalWatts;
  double scale = (appSum != 0 && appSum > cap) ? cap / appSum : 1.0;
  for (auto& app : apps) app.value *= scale;
  sortByValueThenName(apps);

  std::vector<Named> rows;
  double other = 0;
  for (std::size_t i = 0; i < apps.size(); ++i) {
    if (i < limit && apps[i].value >= minWatts) {
      rows.push_back({*apps[i].name, apps[i].value});
    } else {
      // Summed directly rather than as a difference, which would leave
      // rounding noise right at the 5 mW threshold.
      other += apps[i].value;
    }
  }
  rows.push_back({std::string(AppShare::otherName), other});

  double scaledApps = appSum * scale;
  if (!parts) {
    rows.push_back({std::string(AppShare::systemName), std::max(0.0, totalWatts - scaledApps)});
  } else {
    const ChipEnergy& p = *parts;
    rows.push_back({std::string(AppShare::macOSName),
                    std::max(0.0, p.processor - std::max(0.0, scaledApps - billedGraphics))});
    rows.push_back(
        {std::string(AppShare::graphicsName), std::max(0.0, p.graphics - billedGraphics)});
    rows.push_back({std::string(AppShare::videoName), p.video});
    rows.push_back({std::string(AppShare::chipName), p.memoryAndChip});
    rows.push_back({std::string(AppShare::hardwareName), std::max(0.0, totalWatts - p.total())});
  }

  double sum = 0;
  for (const auto& r : rows) sum += r.value;
  double fit = sum > totalWatts ? totalWatts / sum : 1.0;
  return finish(rows, totalWatts, fit);
}

std::vector<RowWatts> simpleBreakdown(const WattsByName& appWatts, double totalWatts,
                                      const std::optional<ChipEnergy>& chip, double billedGraphics,
                                      const HardwareReading& hardware, std::size_t limit,
                                      double minWatts) {
  std::vector<RowWatts> detailed =
      nowBreakdown(appWatts, totalWatts, chip, billedGraphics, limit, minWatts);
  if (!chip || !isPositiveTotal(totalWatts)) return detailed;

  std::vector<Named> rows;
  double macOS = 0;
  double hardwareLeft = 0;
  for (const auto& r : detailed) {
    const std::string& name = r.row.name;
    if (name == AppShare::macOSName || name == AppShare::graphicsName ||
        name == AppShare::chipName) {
      macOS += r.watts;
    } else if (name == AppShare::hardwareName) {
      hardwareLeft += r.watts;
    } else {
      rows.push_back({name, r.watts});
    }
  }
  rows.push_back({std::string(AppShare::macName), macOS});

  if (hardware.screenWatts) {
    // Each estimate takes its part of what is left outside the chip, in order
    // of confidence; estimates never add power the total did not show.
    auto take = [&](double estimate) {
      double part = estimate > 0 ? std::min(estimate, hardwareLeft) : 0.0;
      hardwareLeft -= part;
      return part;
    };
    rows.push_back({std::string(AppShare::screenName), take(*hardware.screenWatts)});
    double speakers = hardware.speakersOn ? hardware.speakersWatts.value_or(0) : 0;
    rows.push_back({std::string(AppShare::speakersName), take(speakers)});
    rows.push_back({std::string(AppShare::keyboardName), take(hardware.keyboardWatts.value_or(0))});
    for (const auto& device : hardware.usb) rows.push_back({device.name, take(device.watts)});
    if (hardware.chargingHeatWatts) {
      rows.push_back({std::string(AppShare::chargingHeatName), take(*hardware.chargingHeatWatts)});
    }
    rows.push_back({std::string(AppShare::otherHardwareName), hardwareLeft});
  } else {
    // Without a calibrated screen the other estimates have nothing to be
    // told apart from, so the whole remainder stays one row.
    rows.push_back({std::string(AppShare::screenAndOtherName), hardwareLeft});
  }
  return finish(rows, totalWatts, 1.0);
}

std::vector<AppShare> shares(const WattsByName& appJoules, double batteryJoules,
                             std::size_t limit) {
  if (!isPositiveTotal(batteryJoules)) return {};
  double total = 0;
  std::vector<Named> apps = finiteEntries(appJoules, total);
  double scale = total > batteryJoules ? batteryJoules / total : 1.0;
  for (auto& app : apps) app.value = app.value * scale / batteryJoules;
  sortByValueThenName(apps);

  std::vector<AppShare> out;
  out.reserve(std::min(apps.size(), limit) + 2);
  double rest = 0;
  for (std::size_t i = 0; i < apps.size(); ++i) {
    if (i < limit) {
      out.push_back({apps[i].name, apps[i].value});
    } else {
      rest += apps[i].value;
    }
  }
  if (apps.size() > limit && rest > 0) out.push_back({std::string(AppShare::otherName), rest});
  out.push_back(
      {std::string(AppShare::systemName), std::max(0.0, 1.0 - total * scale / batteryJoules)});
  return out;
}

WattsByName nowWatts(const std::vector<AppShare>& rows, const WattsByName& appWatts,
                     double totalWatts) {
  double appSum = 0;
  std::vector<Named> apps = finiteEntries(appWatts, appSum);
  double scale = (appSum > 0 && appSum > totalWatts) ? totalWatts / appSum : 1.0;

  std::unordered_set<std::string_view> named;
  for (const auto& row : rows) {
    if (!row.isGroup()) named.insert(row.name);
  }

  WattsByName out;
  for (const auto& row : rows) {
    double watts = 0;
    if (row.isSystem()) {
      watts = std::max(0.0, totalWatts - appSum * scale);
    } else if (row.isOther()) {
      for (const auto& app : apps) {
        if (!named.contains(app.name)) watts += app.value;
      }
      watts *= scale;
    } else if (auto it = appWatts.find(row.name); it != appWatts.end()) {
      watts = scale * finiteOr0(it->second);
    }
    out[row.name] = watts;
  }
  return out;
}

}  // namespace ebbwise::EnergySplit
