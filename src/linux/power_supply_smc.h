#pragma once

#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "linux/power_supply_cache.h"
#include "linux/rapl_counters.h"
#include "sys/clock.h"
#include "sys/smc_user_client.h"

namespace ebbwise::linux_host {

// The two SMC keys the system reads, answered from what Linux measures, in
// the controller's own 80-byte records:
// - "PSTR", the whole machine's power: the battery's discharge power while
//   the battery alone feeds the machine; on external power (and on machines
//   without a battery) the platform energy counter (RAPL psys) where the
//   processor has one, else the key cannot be read at the moment.
// - "PDTR", the power coming in from the adapter: 0 on battery; on external
//   power the platform's power plus what goes into the battery, when the
//   platform's power is known.
// Both are 32-bit floats ("flt "). Other keys are not found, as on a
// controller that lacks them.
class PowerSupplySMC final : public sys::SMCUserClient {
 public:
  // `counters` (optional) and `clock`, which times the platform's power,
  // must outlive the client.
  // `shared` (optional) is a reading of the power supplies shared with the
  // registry; without one each call reads afresh.
  PowerSupplySMC(std::string sysRoot, RaplCounters* counters, const sys::Clock& clock,
                 PowerSupplyCache* shared = nullptr);

  std::optional<sys::SMCConnection> open() override;
  int callStructMethod(sys::SMCConnection connection, std::uint32_t selector,
                       std::span<const std::uint8_t> input,
                       std::span<std::uint8_t> output) override;
  void close(sys::SMCConnection connection) override;

  static constexpr std::size_t kRecordSize = 80;
  static constexpr std::uint32_t kSelector = 2;
  static constexpr int kIOReturnBadArgument = static_cast<int>(0xE00002C2);
  static constexpr int kIOReturnUnsupported = static_cast<int>(0xE00002C7);
  static constexpr int kIOReturnNotOpen = static_cast<int>(0xE00002CD);
  static constexpr std::uint8_t kKeyNotFound = 0x84;
  static constexpr std::uint8_t kNotReadable = 0x85;
  static constexpr std::uint8_t kBadArgument = 0x89;
  static constexpr std::uint8_t kBadCommand = 0x8B;

 private:
  std::optional<double> systemWatts();
  std::optional<double> chargerWatts();
  // The platform's power over the time since it was last measured.
  std::optional<double> platformWatts();

  std::vector<PowerSupply> readAll();

  std::string sysRoot_;
  PowerSupplyCache* shared_;
  RaplCounters* counters_;
  const sys::Clock& clock_;
  std::mutex mutex_;
  std::set<sys::SMCConnection> open_;
  sys::SMCConnection next_ = 1;
  struct Sample {
    std::uint64_t microjoules;
    double seconds;
  };
  std::optional<Sample> lastPlatform_;
  std::optional<double> platformWatts_;
};

}  // namespace ebbwise::linux_host
