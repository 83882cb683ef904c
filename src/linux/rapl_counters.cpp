#include "linux/rapl_counters.h"

#include <algorithm>
#include <filesystem>

#include "linux/sysfs_file.h"

namespace ebbwise::linux_host {

namespace {

constexpr std::string_view kZonePrefix = "intel-rapl:";

}  // namespace

RaplCounters::RaplCounters(std::string sysRoot, Credentials credentials, Notice notice) {
  discover(sysRoot, credentials, notice);
  read();  // the base every total counts from
}

void RaplCounters::discover(const std::string& sysRoot, const Credentials& credentials,
                            const Notice& notice) {
  namespace fs = std::filesystem;
  const std::string classFolder = sysRoot + "/class/powercap";
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(classFolder, error), end; !error && it != end;
       it.increment(error)) {
    // Only the MSR interface's zones: the MMIO one repeats the package.
    const std::string name = it->path().filename().string();
    if (name.starts_with(kZonePrefix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());

  std::optional<std::string> rootOnly;
  for (const std::string& name : names) {
    const std::string folder = classFolder + "/" + name;
    const auto label = SysfsFile::readLine(folder + "/name");
    if (!label) continue;
    Domain domain;
    if (label->starts_with("package"))
      domain = Domain::package;
    else if (*label == "core")
      domain = Domain::core;
    else if (*label == "uncore")
      domain = Domain::uncore;
    else if (*label == "dram")
      domain = Domain::dram;
    else if (*label == "psys")
      domain = Domain::psys;
    else
      continue;
    Zone zone;
    zone.domain = domain;
    zone.counterPath = folder + "/energy_uj";
    if (!credentials.mayRead(zone.counterPath)) {
      if (!rootOnly) rootOnly = zone.counterPath;
      continue;
    }
    const auto range = SysfsFile::readInteger(folder + "/max_energy_range_uj");
    if (range && *range > 0) zone.range = static_cast<std::uint64_t>(*range);
    zones_.push_back(std::move(zone));
  }
  if (rootOnly) {
    say(notice,
        "Ebbwise cannot read the processor's energy counters (" + *rootOnly +
            " is readable by root only), so chip power and the energy of apps are not shown. "
            "To allow it until the next restart, run: sudo chmod a+r " +
            classFolder + "/intel-rapl:*/energy_uj " + classFolder + "/intel-rapl:*:*/energy_uj");
  }
}

void RaplCounters::advance(Zone& zone, std::uint64_t raw) {
  if (zone.range > 0 && raw > zone.range) return;  // garbled: keep the old base
  if (!zone.last) {
    zone.last = raw;
    return;
  }
  const std::uint64_t last = *zone.last;
  if (raw >= last) {
    zone.total += raw - last;
  } else if (zone.range > 0 && last <= zone.range && zone.range - last + raw <= zone.range / 2) {
    zone.total += zone.range - last + raw;  // wrapped past its range
  }
  // Any other step back is a reset: the total stays and counts on from here.
  zone.last = raw;
}

RaplCounters::Totals RaplCounters::read() {
  std::lock_guard hold(mutex_);
  Totals totals;
  for (Zone& zone : zones_) {
    const auto raw = SysfsFile::readInteger(zone.counterPath);
    if (raw && *raw >= 0) advance(zone, static_cast<std::uint64_t>(*raw));
    if (!zone.last) continue;  // never read: the domain is unknown, not idle
    std::optional<std::uint64_t>* slot = nullptr;
    switch (zone.domain) {
      case Domain::package:
        slot = &totals.package;
        break;
      case Domain::core:
        slot = &totals.core;
        break;
      case Domain::uncore:
        slot = &totals.uncore;
        break;
      case Domain::dram:
        slot = &totals.dram;
        break;
      case Domain::psys:
        slot = &totals.psys;
        break;
    }
    *slot = slot->value_or(0) + zone.total;
  }
  return totals;
}

}  // namespace ebbwise::linux_host
