#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "linux/bus_connection.h"
#include "sys/tool_runner.h"

namespace ebbwise::linux_host {

// The machine's tools, with the one the platform's Bluetooth report comes
// from served by BlueZ: `system_profiler -json [-detailLevel LEVEL]
// SPBluetoothDataType` answers the report built from BlueZ's devices over
// the system bus (see BluetoothInventory), the empty report when no
// Bluetooth service is there, and a timed-out run when it does not answer
// within `callTimeoutSeconds`. Every other run goes to the real tools.
class BluetoothToolRunner final : public sys::ToolRunner {
 public:
  // `tools` must outlive the runner. `busAddress` absent: the system bus.
  BluetoothToolRunner(sys::ToolRunner& tools, std::optional<std::string> busAddress,
                      double callTimeoutSeconds = 10);

  std::optional<sys::ToolRun> run(std::string_view path,
                                  std::span<const std::string> arguments) override;

  // Whether a run is the Bluetooth report this runner serves.
  static bool isBluetoothReport(std::string_view path, std::span<const std::string> arguments);

 private:
  sys::ToolRunner& tools_;
  std::mutex mutex_;
  BusConnection bus_;
};

}  // namespace ebbwise::linux_host
