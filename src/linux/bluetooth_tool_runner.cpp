#include "linux/bluetooth_tool_runner.h"

#include <cerrno>

#include "linux/bluez_inventory.h"

namespace ebbwise::linux_host {

BluetoothToolRunner::BluetoothToolRunner(sys::ToolRunner& tools,
                                         std::optional<std::string> busAddress,
                                         double callTimeoutSeconds)
    : tools_(tools), bus_(std::move(busAddress), callTimeoutSeconds) {}

bool BluetoothToolRunner::isBluetoothReport(std::string_view path,
                                            std::span<const std::string> arguments) {
  if (path != "/usr/sbin/system_profiler") return false;
  bool json = false, bluetooth = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "-json" && !json) {
      json = true;
    } else if (a == "SPBluetoothDataType" && !bluetooth) {
      bluetooth = true;
    } else if (a == "-detailLevel" && i + 1 < arguments.size() &&
               (arguments[i + 1] == "mini" || arguments[i + 1] == "basic" ||
                arguments[i + 1] == "full")) {
      ++i;
    } else {
      return false;
    }
  }
  return json && bluetooth;
}

std::optional<sys::ToolRun> BluetoothToolRunner::run(std::string_view path,
                                                     std::span<const std::string> arguments) {
  if (!isBluetoothReport(path, arguments)) return tools_.run(path, arguments);
  BluetoothInventory inventory;
  std::optional<sys::PlatformError> error;
  {
    std::lock_guard lock(mutex_);
    error = BluetoothInventory::read(bus_, inventory);
  }
  if (!error) return sys::ToolRun{inventory.report(), 0};
  if (error->domain == "org.freedesktop.DBus.Error.NoReply" ||
      (error->domain == "errno" && error->code == ETIMEDOUT)) {
    return sys::ToolRun{"", std::nullopt, true};
  }
  // No bus, or nobody on it to ask: a machine without Bluetooth.
  if (error->domain == "errno" || error->domain == "org.freedesktop.DBus.Error.ServiceUnknown" ||
      error->domain == "org.freedesktop.DBus.Error.NameHasNoOwner") {
    return sys::ToolRun{BluetoothInventory::emptyReport(), 0};
  }
  return sys::ToolRun{"", 1};
}

}  // namespace ebbwise::linux_host
