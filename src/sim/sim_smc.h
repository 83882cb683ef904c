#pragma once

#include <set>
#include <utility>

#include "sim/machine_model.h"
#include "sim/transient_faults.h"
#include "sys/smc_user_client.h"

namespace ebbwise::sim {

// The SMC user client: 80-byte request records in and out. Command 9 reads a
// key's description, command 5 its value. The whole-system power "PSTR" and
// the charger input "PDTR" are 32-bit floats; a few keys of other types are
// there as on a real controller. An unknown key answers with a non-zero
// result byte while the call itself succeeds; malformed calls fail. As the
// scenario's platform says, some models lack "PDTR", a call now and then
// fails for a moment (a busy controller in the kernel or in the result byte)
// and the first opens may be refused.
class SimSMC final : public sys::SMCUserClient {
 public:
  explicit SimSMC(MachineModel& model)
      : model_(model), faults_(model.scenario().machine.seed, kFaultStream) {}

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
  static constexpr int kIOReturnBusy = static_cast<int>(0xE00002D5);
  static constexpr std::uint8_t kCommCollision = 0x80;
  static constexpr std::uint8_t kKeyNotFound = 0x84;
  static constexpr std::uint8_t kBadArgument = 0x89;
  static constexpr std::uint8_t kBadCommand = 0x8B;

 private:
  // A transient failure for this call, if one is drawn: a kernel return, or
  // 0 with a result byte.
  std::optional<std::pair<int, std::uint8_t>> transientFailure();
  bool hasKey(std::uint32_t code) const;

  MachineModel& model_;
  std::set<sys::SMCConnection> open_;
  sys::SMCConnection next_ = 0x1A03;
  int refusedOpens_ = 0;
  TransientFaults faults_;
  static constexpr std::uint64_t kFaultStream = 401;
};

}  // namespace ebbwise::sim
