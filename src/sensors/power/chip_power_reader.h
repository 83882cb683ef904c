#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "sensors/power/chip_energy.h"
#include "sys/io_report.h"
#include "sys/value.h"

namespace ebbwise {

// Reads the chip's energy counters (the IOReport "Energy Model" group) and
// answers the energy each part used since the previous read. Not
// synchronised: one reader serves one thread.
class ChipPowerReader {
 public:
  static constexpr std::string_view kGroup = "Energy Model";

  // Subscribes to the group and takes a first sample; nothing when the group
  // has no channels or the subscription is refused.
  static std::unique_ptr<ChipPowerReader> create(sys::IOReport& ioReport);

  // Joules per part since the previous call (or construction); nothing when
  // sampling or differencing fails. Callers divide by their own elapsed time,
  // so a failure never leaves a base older than one call: after a failed
  // sample the next read only primes, after a failed delta it starts from
  // the newest sample.
  std::optional<ChipEnergy> read();

  // Joules per unit of a channel's unit label ("mJ", "uJ", "µJ", "nJ"),
  // after trimming spaces and tabs; nothing for any other unit.
  static std::optional<double> unitsPerJoule(std::string_view unit);

 private:
  ChipPowerReader(sys::IOReport& ioReport, sys::IOReportSubscription subscription,
                  sys::Value channels)
      : ioReport_(ioReport), subscription_(subscription), channels_(std::move(channels)) {}

  sys::IOReport& ioReport_;
  sys::IOReportSubscription subscription_;
  sys::Value channels_;  // what the subscription samples
  std::optional<sys::Value> last_;
};

}  // namespace ebbwise
