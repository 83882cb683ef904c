#pragma once

#include <set>

#include "sim/machine_model.h"
#include "sys/smc_user_client.h"

namespace ebbwise::sim {

// The SMC user client: 80-byte request records in and out. Command 9 reads a
// key's description, command 5 its value. The whole-system power "PSTR" and
// the charger input "PDTR" are 32-bit floats; a few keys of other types are
// there as on a real controller. An unknown key answers with a non-zero
// result byte while the call itself succeeds; malformed calls fail.
class SimSMC final : public sys::SMCUserClient {
 public:
  explicit SimSMC(MachineModel& model) : model_(model) {}

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
  static constexpr std::uint8_t kBadArgument = 0x89;
  static constexpr std::uint8_t kBadCommand = 0x8B;

 private:
  MachineModel& model_;
  std::set<sys::SMCConnection> open_;
  sys::SMCConnection next_ = 0x1A03;
};

}  // namespace ebbwise::sim
