#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linux/bus_connection.h"

namespace ebbwise::linux_host {

// What the Bluetooth service (BlueZ) knows: its first adapter and the
// devices paired with or connected to any adapter, with the battery level
// that devices publish through BlueZ's battery interface while connected.
struct BluetoothInventory {
  struct Adapter {
    std::string address;
    bool powered = false;
    bool discoverable = false;
  };
  struct Device {
    std::string name;  // the user's name for it (its alias), else its own
    std::string address;
    std::string icon;  // the freedesktop icon name of its kind ("input-mouse")
    std::string modalias;
    bool connected = false;
    std::optional<int> batteryPercent;
  };

  std::optional<Adapter> adapter;
  std::vector<Device> devices;  // by name

  // BlueZ's objects (ObjectManager.GetManagedObjects on "org.bluez").
  static std::optional<sys::PlatformError> read(BusConnection& bus, BluetoothInventory& out);

  // The platform's hardware report for the Bluetooth data type, as JSON
  // text: one controller with the connected and the known devices, each
  // under its name with its address, kind and, while connected, battery
  // level ("85%").
  std::string report() const;
  // The same report on a machine without Bluetooth.
  static std::string emptyReport();
};

}  // namespace ebbwise::linux_host
