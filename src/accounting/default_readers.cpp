#include "accounting/default_readers.h"

#include <memory>

#include "sensors/power/chip_power_reader.h"
#include "sensors/hardware/gpu_usage.h"
#include "sensors/processes/process_scanner.h"
#include "sensors/power/system_power_meter.h"

namespace ebbwise {

TrackerReaders defaultReaders(const sys::Platform& platform) {
  TrackerReaders readers;

  // std::function needs copyable captures, hence shared ownership.
  if (std::shared_ptr<ChipPowerReader> chip = ChipPowerReader::create(platform.ioReport)) {
    readers.readChip = [chip] { return chip->read(); };
  }
  if (std::shared_ptr<SystemPowerMeter> meter =
          SystemPowerMeter::create(platform.smc, platform.runLoop, platform.clock)) {
    readers.readSystem = [meter]() -> std::optional<SystemEnergy> { return meter->take(); };
  }
  readers.readGPU = [&registry = platform.registry] { return GPUUsage::read(registry); };
  readers.identify = [&processes = platform.processes,
                      &environment = platform.environment](std::int32_t pid) {
    return ProcessScanner::identity(processes, environment, pid);
  };
  return readers;
}

}  // namespace ebbwise
