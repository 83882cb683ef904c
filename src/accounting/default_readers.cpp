#include "accounting/default_readers.h"

#include <memory>

#include "sensors/hardware/gpu_usage.h"
#include "sensors/power/chip_power_reader.h"
#include "sensors/power/system_power_meter.h"
#include "sensors/processes/process_scanner.h"

namespace ebbwise {

namespace {

// The system power meter, made on first need. Opening the SMC can fail for
// a moment (a busy controller, a service not yet up), so while there is no
// meter each take tries again: at every tick for the first minute, then
// once a minute, which costs a machine without the sensor next to nothing.
class MeterSlot {
 public:
  explicit MeterSlot(const sys::Platform& platform)
      : smc_(platform.smc), runLoop_(platform.runLoop), clock_(platform.clock) {
    open();
  }

  std::optional<SystemEnergy> take() {
    if (!meter_ && (++misses_ < kEagerTries || misses_ % kEagerTries == 0)) open();
    if (!meter_) return std::nullopt;
    // Up to now: the chip's energy, read just after, covers the tick exactly.
    return meter_->takeUpToNow();
  }

 private:
  static constexpr int kEagerTries = 12;

  void open() { meter_ = SystemPowerMeter::create(smc_, runLoop_, clock_); }

  sys::SMCUserClient& smc_;
  sys::RunLoop& runLoop_;
  sys::Clock& clock_;
  std::unique_ptr<SystemPowerMeter> meter_;
  int misses_ = 0;
};

}  // namespace

TrackerReaders defaultReaders(const sys::Platform& platform) {
  TrackerReaders readers;

  // std::function needs copyable captures, hence shared ownership.
  if (std::shared_ptr<ChipPowerReader> chip = ChipPowerReader::create(platform.ioReport)) {
    readers.readChip = [chip] { return chip->read(); };
  }
  auto meter = std::make_shared<MeterSlot>(platform);
  readers.readSystem = [meter] { return meter->take(); };
  readers.readGPU = [&registry = platform.registry] { return GPUUsage::read(registry); };
  readers.identify = [&processes = platform.processes,
                      &environment = platform.environment](std::int32_t pid) {
    return ProcessScanner::identity(processes, environment, pid);
  };
  return readers;
}

}  // namespace ebbwise
