#include "linux/bluez_inventory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <variant>

#include "sys/value.h"

namespace ebbwise::linux_host {

namespace {

using Scalar = std::variant<std::monostate, bool, std::int64_t, std::string>;
using Properties = std::map<std::string, Scalar>;

// A variant holding a basic value; anything else is skipped and reads as none.
int readVariant(sd_bus_message* m, Scalar& out) {
  char type = 0;
  const char* contents = nullptr;
  int r = sd_bus_message_peek_type(m, &type, &contents);
  if (r < 0) return r;
  out = std::monostate{};
  if (type != 'v' || !contents || std::strlen(contents) != 1) return sd_bus_message_skip(m, "v");
  switch (contents[0]) {
    case 's':
    case 'o': {
      const char* s = nullptr;
      r = sd_bus_message_read(m, "v", contents, &s);
      if (r >= 0) out = std::string(s ? s : "");
      return r;
    }
    case 'b': {
      int b = 0;
      r = sd_bus_message_read(m, "v", "b", &b);
      if (r >= 0) out = b != 0;
      return r;
    }
    case 'y': {
      std::uint8_t y = 0;
      r = sd_bus_message_read(m, "v", "y", &y);
      if (r >= 0) out = std::int64_t{y};
      return r;
    }
    case 'n':
    case 'q': {
      std::uint16_t q = 0;
      r = sd_bus_message_read(m, "v", contents, &q);
      if (r >= 0) out = contents[0] == 'n' ? std::int64_t{static_cast<std::int16_t>(q)} : std::int64_t{q};
      return r;
    }
    case 'i':
    case 'u': {
      std::uint32_t u = 0;
      r = sd_bus_message_read(m, "v", contents, &u);
      if (r >= 0) out = contents[0] == 'i' ? std::int64_t{static_cast<std::int32_t>(u)} : std::int64_t{u};
      return r;
    }
    default:
      return sd_bus_message_skip(m, "v");
  }
}

// path → interface → properties
int readObjects(sd_bus_message* m, std::map<std::string, std::map<std::string, Properties>>& out) {
  int r = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}");
  if (r < 0) return r;
  while ((r = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
    const char* path = nullptr;
    if ((r = sd_bus_message_read(m, "o", &path)) < 0) return r;
    auto& interfaces = out[path];
    if ((r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
      const char* interface = nullptr;
      if ((r = sd_bus_message_read(m, "s", &interface)) < 0) return r;
      auto& properties = interfaces[interface];
      if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
      while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
        if ((r = readVariant(m, properties[key])) < 0) return r;
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
      }
      if (r < 0) return r;
      if ((r = sd_bus_message_exit_container(m)) < 0) return r;
      if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
  }
  if (r < 0) return r;
  return sd_bus_message_exit_container(m);
}

std::string text(const Properties& p, const char* key) {
  auto it = p.find(key);
  if (it == p.end()) return {};
  const auto* s = std::get_if<std::string>(&it->second);
  return s ? *s : std::string();
}

bool flag(const Properties& p, const char* key) {
  auto it = p.find(key);
  if (it == p.end()) return false;
  const auto* b = std::get_if<bool>(&it->second);
  return b && *b;
}

std::optional<std::int64_t> number(const Properties& p, const char* key) {
  auto it = p.find(key);
  if (it == p.end()) return std::nullopt;
  const auto* n = std::get_if<std::int64_t>(&it->second);
  return n ? std::optional(*n) : std::nullopt;
}

// The platform's names for the kinds of device it tells apart.
std::string minorType(const std::string& icon) {
  static const std::map<std::string, std::string> kinds = {
      {"input-mouse", "Mouse"},         {"input-keyboard", "Keyboard"},
      {"audio-headphones", "Headphones"}, {"audio-headset", "Headset"},
      {"audio-speakers", "Speaker"},    {"input-gaming", "Gamepad"},
      {"phone", "Phone"},               {"computer", "Computer"},
  };
  auto it = kinds.find(icon);
  return it == kinds.end() ? std::string() : it->second;
}

// "usb:v046DpB023d0011" or "bluetooth:v004Cp0320d0161" → ("0x046D", "0xB023").
std::optional<std::pair<std::string, std::string>> vendorAndProduct(const std::string& modalias) {
  unsigned vendor = 0, product = 0;
  const auto colon = modalias.find(':');
  if (colon == std::string::npos) return std::nullopt;
  if (std::sscanf(modalias.c_str() + colon + 1, "v%4Xp%4X", &vendor, &product) != 2) {
    return std::nullopt;
  }
  char v[8], p[8];
  std::snprintf(v, sizeof v, "0x%04X", vendor & 0xFFFF);
  std::snprintf(p, sizeof p, "0x%04X", product & 0xFFFF);
  return std::pair{std::string(v), std::string(p)};
}

std::string dump(const sys::Value& report) {
  return report.dump(2, ' ', false, sys::Value::error_handler_t::replace) + "\n";
}

}  // namespace

std::optional<sys::PlatformError> BluetoothInventory::read(BusConnection& bus,
                                                           BluetoothInventory& out) {
  BusMessage m, reply;
  if (auto e = bus.newCall(m, "org.bluez", "/", "org.freedesktop.DBus.ObjectManager",
                           "GetManagedObjects")) {
    return e;
  }
  if (auto e = bus.call(m, reply)) return e;
  std::map<std::string, std::map<std::string, Properties>> objects;
  if (const int r = readObjects(reply.m, objects); r < 0) return BusConnection::failure(r);

  out = {};
  for (const auto& [path, interfaces] : objects) {
    if (auto a = interfaces.find("org.bluez.Adapter1"); a != interfaces.end() && !out.adapter) {
      out.adapter = Adapter{text(a->second, "Address"), flag(a->second, "Powered"),
                            flag(a->second, "Discoverable")};
    }
    auto d = interfaces.find("org.bluez.Device1");
    if (d == interfaces.end()) continue;
    const Properties& p = d->second;
    if (!flag(p, "Paired") && !flag(p, "Connected")) continue;  // only seen nearby
    Device device;
    device.address = text(p, "Address");
    device.name = text(p, "Alias");
    if (device.name.empty()) device.name = text(p, "Name");
    if (device.name.empty()) device.name = device.address;
    if (device.name.empty()) continue;
    device.icon = text(p, "Icon");
    device.modalias = text(p, "Modalias");
    device.connected = flag(p, "Connected");
    if (auto b = interfaces.find("org.bluez.Battery1"); b != interfaces.end()) {
      const auto percent = number(b->second, "Percentage");
      if (percent && *percent >= 0 && *percent <= 100) device.batteryPercent = int(*percent);
    }
    out.devices.push_back(std::move(device));
  }
  std::stable_sort(out.devices.begin(), out.devices.end(),
                   [](const Device& a, const Device& b) { return a.name < b.name; });
  return std::nullopt;
}

std::string BluetoothInventory::report() const {
  sys::Value connected = sys::Value::array(), known = sys::Value::array();
  for (const Device& device : devices) {
    sys::Value properties = sys::Value::object();
    if (!device.address.empty()) properties["device_address"] = device.address;
    if (auto kind = minorType(device.icon); !kind.empty()) properties["device_minorType"] = kind;
    if (auto ids = vendorAndProduct(device.modalias)) {
      properties["device_vendorID"] = ids->first;
      properties["device_productID"] = ids->second;
    }
    if (device.connected) {
      if (device.batteryPercent) {
        properties["device_batteryLevelMain"] = std::to_string(*device.batteryPercent) + "%";
      }
      connected.push_back({{device.name, std::move(properties)}});
    } else {
      known.push_back({{device.name, std::move(properties)}});
    }
  }
  sys::Value controller = sys::Value::object();
  if (adapter) {
    controller["controller_properties"] = {
        {"controller_address", adapter->address},
        {"controller_discoverable", adapter->discoverable ? "attrib_on" : "attrib_off"},
        {"controller_state", adapter->powered ? "attrib_on" : "attrib_off"}};
  }
  if (!connected.empty()) controller["device_connected"] = std::move(connected);
  if (!known.empty()) controller["device_not_connected"] = std::move(known);
  return dump(sys::Value{{"SPBluetoothDataType", sys::Value::array({std::move(controller)})}});
}

std::string BluetoothInventory::emptyReport() {
  return dump(sys::Value{{"SPBluetoothDataType", sys::Value::array()}});
}

}  // namespace ebbwise::linux_host
