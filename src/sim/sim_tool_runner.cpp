#include "sim/sim_tool_runner.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "sim/counter_random.h"
#include "sys/value.h"

namespace ebbwise::sim {

namespace {

using sys::Value;

constexpr std::string_view kBluetooth = "SPBluetoothDataType";
constexpr std::string_view kUSB = "SPUSBDataType";

std::string hex(std::uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

// A device's address, the same for the same name on every run.
std::string address(std::string_view name) {
  std::uint64_t h = CounterRandom::hash(0xB1, std::hash<std::string_view>{}(name));
  char text[32];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", unsigned(h & 0xFF),
                unsigned(h >> 8 & 0xFF), unsigned(h >> 16 & 0xFF), unsigned(h >> 24 & 0xFF),
                unsigned(h >> 32 & 0xFF), unsigned(h >> 40 & 0xFF));
  return text;
}

std::string percent(int level) {
  return std::to_string(level) + "%";
}

Value bluetoothReport(const MachineModel& model) {
  Value connected = Value::array(), known = Value::array();
  for (const BluetoothDevice& device : model.scenario().machine.bluetooth) {
    Value properties = {{"device_address", address(device.name)},
                        {"device_vendorID", "0x004C"},
                        {"device_productID", hex(0x2000 + device.name.size(), 4)}};
    if (!device.kind.empty()) properties["device_minorType"] = device.kind;
    if (device.connected) {
      // Levels are known only while the accessory is connected.
      if (device.main) properties["device_batteryLevelMain"] = percent(*device.main);
      if (device.left) properties["device_batteryLevelLeft"] = percent(*device.left);
      if (device.right) properties["device_batteryLevelRight"] = percent(*device.right);
      if (device.caseLevel) properties["device_batteryLevelCase"] = percent(*device.caseLevel);
      properties["device_firmwareVersion"] = "6F8";
      connected.push_back({{device.name, std::move(properties)}});
    } else {
      known.push_back({{device.name, std::move(properties)}});
    }
  }
  Value controller = {{"controller_properties",
                       {{"controller_address", "F0:5C:D5:3A:91:2E"},
                        {"controller_chipset", "BCM_4387"},
                        {"controller_discoverable", "attrib_off"},
                        {"controller_firmwareVersion", "22.1.534.1245"},
                        {"controller_productID", "0x4A0F"},
                        {"controller_state", "attrib_on"},
                        {"controller_transport", "PCIe"},
                        {"controller_vendorID", "0x004C (Apple)"}}}};
  if (!connected.empty()) controller["device_connected"] = std::move(connected);
  if (!known.empty()) controller["device_not_connected"] = std::move(known);
  return Value{{std::string(kBluetooth), Value::array({std::move(controller)})}};
}

std::string vendorText(std::int64_t vendor) {
  if (vendor == 0x05AC) return "apple_vendor_id";
  return hex(static_cast<std::uint64_t>(vendor), 4);
}

Value usbDevice(const USBDevice& device, int port, int position) {
  return {{"_name", device.name},
          {"bcd_device", "16.05"},
          {"bus_power", "500"},
          {"bus_power_used", "500"},
          {"device_speed", "high_speed"},
          {"extra_current_used", "1600"},
          {"location_id", hex(static_cast<std::uint64_t>(port) << 24 | position << 20, 8) + " / " +
                              std::to_string(position + 1)},
          {"product_id", hex(0x12A8 + static_cast<std::uint64_t>(position), 4)},
          {"vendor_id", vendorText(device.vendor)}};
}

// One bus per USB-C port, in port order, each with what hangs off it; a
// hub's devices are nested in the hub's own "_items".
Value usbReport(const MachineModel& model) {
  const auto& devices = model.usbDevices();
  int ports = 3;
  for (const auto& [port, device] : devices) ports = std::max(ports, port);
  Value buses = Value::array();
  for (int port = 1; port <= ports; ++port) {
    Value bus = {{"_name", "USB31Bus"}, {"host_controller", "AppleT6000USBXHCI"}};
    auto it = devices.find(port);
    if (it != devices.end()) {
      const USBDevice& device = it->second;
      Value item = usbDevice(device, port, 1);
      if (!device.hub.empty()) {
        item = {{"_name", device.hub},
                {"_items", Value::array({std::move(item)})},
                {"bcd_device", "90.15"},
                {"location_id", hex(static_cast<std::uint64_t>(port) << 24, 8) + " / 1"},
                {"product_id", "0x0817"},
                {"vendor_id", "0x2109  (VIA Labs, Inc.)"}};
      }
      bus["_items"] = Value::array({std::move(item)});
    }
    buses.push_back(std::move(bus));
  }
  return Value{{std::string(kUSB), std::move(buses)}};
}

void textItems(const Value& node, std::size_t indent, std::string& out) {
  const Value* items = sys::asList(sys::member(node, "_items"));
  if (!items) return;
  for (const Value& item : *items) {
    out +=
        std::string(indent, ' ') + sys::asString(sys::member(item, "_name")).value_or("") + ":\n\n";
    textItems(item, indent + 2, out);
  }
}

std::string textReport(const Value& report) {
  std::string out;
  if (const Value* controllers = sys::asList(sys::member(report, kBluetooth))) {
    out += "Bluetooth:\n\n";
    for (const Value& controller : *controllers) {
      for (const char* section : {"device_connected", "device_not_connected"}) {
        const Value* devices = sys::asList(sys::member(controller, section));
        if (!devices) continue;
        out += std::string(section[7] == 'c' ? "      Connected:\n" : "      Not Connected:\n");
        for (const Value& entry : *devices) {
          for (const auto& [name, properties] : entry.items()) {
            out += "          " + name + ":\n";
            for (const auto& [key, value] : properties.items()) {
              if (value.is_string())
                out += "              " + key + ": " + value.get<std::string>() + "\n";
            }
          }
        }
      }
    }
  }
  if (const Value* buses = sys::asList(sys::member(report, kUSB))) {
    out += "USB:\n\n";
    for (const Value& bus : *buses) {
      out += "    USB 3.1 Bus:\n\n      Host Controller Driver: AppleT6000USBXHCI\n\n";
      textItems(bus, 8, out);
    }
  }
  return out;
}

}  // namespace

std::optional<sys::ToolRun> SimToolRunner::run(std::string_view path,
                                               std::span<const std::string> arguments) {
  if (path != kSystemProfiler) return std::nullopt;
  bool json = false;
  std::set<std::string> types;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "-json") {
      json = true;
    } else if (a == "-detailLevel" && i + 1 < arguments.size() &&
               (arguments[i + 1] == "mini" || arguments[i + 1] == "basic" ||
                arguments[i + 1] == "full")) {
      ++i;
    } else if (a.starts_with("SP") && a.ends_with("DataType")) {
      types.insert(a);
    } else {
      // The usage goes to standard error.
      return sys::ToolRun{"", 1};
    }
  }
  Value report = Value::object();
  {
    auto lock = model_.sync();
    if (types.contains(std::string(kBluetooth))) report.update(bluetoothReport(model_));
    if (types.contains(std::string(kUSB))) report.update(usbReport(model_));
  }
  if (!json) return sys::ToolRun{textReport(report), 0};
  return sys::ToolRun{report.empty()
                          ? "{\n\n}\n"
                          : report.dump(2, ' ', false, Value::error_handler_t::replace) + "\n",
                      0};
}

}  // namespace ebbwise::sim
