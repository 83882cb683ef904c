#include "sim/sim_registry.h"

#include <algorithm>
#include <array>
#include <string>

#include "sim/sim_battery.h"

namespace ebbwise::sim {

namespace {

using sys::RegistryEntry;
using sys::Value;

constexpr int kMaxClients = 16;

std::string acceleratorClass(int chip) {
  static constexpr std::array<const char*, 4> names = {"AGXAcceleratorG13X", "AGXAcceleratorG14X",
                                                       "AGXAcceleratorG15X", "AGXAcceleratorG16X"};
  return names[static_cast<std::size_t>(std::clamp(chip, 1, 4) - 1)];
}

}  // namespace

std::optional<SimRegistry::Client> SimRegistry::client(RegistryEntry entry) const {
  if (entry < kClientBase) return std::nullopt;
  auto offset = entry - kClientBase;
  auto process = static_cast<std::size_t>(offset / kMaxClients);
  auto index = static_cast<int>(offset % kMaxClients);
  const auto& procs = model_.table().processes;
  if (process >= procs.size() || index >= procs[process].gpuClients) return std::nullopt;
  if (!procs[process].aliveAt(model_.time())) return std::nullopt;
  return Client{static_cast<int>(process), index};
}

std::optional<std::int64_t> SimRegistry::partnerVendor(int port) const {
  if (const auto& charger = model_.charger(); charger && charger->port == port)
    return charger->vendor;
  auto it = model_.usbDevices().find(port);
  if (it != model_.usbDevices().end()) return it->second.vendor;
  return std::nullopt;
}

std::vector<RegistryEntry> SimRegistry::matchingServices(std::string_view className) {
  auto lock = model_.sync();
  std::vector<RegistryEntry> out;
  const bool any = className == "IOService";
  const bool battery = model_.scenario().machine.model != MacModel::desktop;
  if (battery && (any || className == "AppleSmartBattery" || className == "IOPMPowerSource")) {
    out.push_back(kBattery);
  }
  if (any || className == "IOAccelerator" ||
      className == acceleratorClass(model_.scenario().machine.chip)) {
    out.push_back(kAccelerator);
  }
  if (any || className == "IOPortTransportComponentCCUSBPDSOP") {
    for (int port = 1; port <= 8; ++port) {
      if (partnerVendor(port)) out.push_back(kPortBase + static_cast<RegistryEntry>(port));
    }
  }
  return out;
}

std::optional<Value> SimRegistry::entryProperties(RegistryEntry entry) const {
  if (entry == kBattery) {
    if (model_.scenario().machine.model == MacModel::desktop) return std::nullopt;
    return batteryProperties(model_);
  }
  if (entry == kAccelerator) {
    const double busy = std::min(1.0, model_.partWatts(Part::gpu) / kGpuReferenceWatts);
    return Value{{"IOClass", acceleratorClass(model_.scenario().machine.chip)},
                 {"IOProviderClass", "AppleARMIODevice"},
                 {"gpu-core-count", 16},
                 {"PerformanceStatistics",
                  {{"Device Utilization %", static_cast<int>(busy * 100)},
                   {"Renderer Utilization %", static_cast<int>(busy * 90)},
                   {"Tiler Utilization %", static_cast<int>(busy * 40)}}}};
  }
  if (entry == kKernelClient) {
    return Value{{"IOUserClientCreator", "pid 0, kernel_task"},
                 {"IOUserClientDefaultLocking", true}};
  }
  if (entry > kPortBase && entry <= kPortBase + 8) {
    int port = static_cast<int>(entry - kPortBase);
    auto vendor = partnerVendor(port);
    if (!vendor) return std::nullopt;
    return Value{{"Description", "Port-USB-C@" + std::to_string(port) + "/CC/USB-PD/SOP"},
                 {"Vendor ID", *vendor},
                 {"Product ID", 0x7800 + port}};
  }
  if (auto c = client(entry)) {
    const SimProcess& p = model_.table().processes[static_cast<std::size_t>(c->process)];
    Value v{{"IOUserClientCreator", "pid " + std::to_string(p.pid) + ", " + p.commandName()},
            {"IOUserClientDefaultLocking", true}};
    if (auto usage = appUsage(*c)) v["AppUsage"] = std::move(*usage);
    return v;
  }
  return std::nullopt;
}

std::optional<Value> SimRegistry::appUsage(const Client& c) const {
  const std::uint64_t time = model_.gpuTimeNs(c.process, c.index);
  // A client that has not run any work yet keeps no usage record.
  if (time == 0 && model_.scenario().machine.platform.idleGPUClients) return std::nullopt;
  return Value::array({{{"API", "Metal"}, {"accumulatedGPUTime", time}}});
}

std::optional<Value> SimRegistry::properties(RegistryEntry entry) {
  auto lock = model_.sync();
  return entryProperties(entry);
}

std::optional<Value> SimRegistry::property(RegistryEntry entry, std::string_view key) {
  auto lock = model_.sync();
  // The GPU walk reads two keys of every client each tick; answer those
  // without building the whole dictionary.
  if (auto c = client(entry)) {
    const SimProcess& p = model_.table().processes[static_cast<std::size_t>(c->process)];
    if (key == "IOUserClientCreator")
      return Value("pid " + std::to_string(p.pid) + ", " + p.commandName());
    if (key == "AppUsage") return appUsage(*c);
  }
  auto all = entryProperties(entry);
  if (!all) return std::nullopt;
  if (const Value* v = sys::member(*all, key)) return *v;
  return std::nullopt;
}

std::vector<RegistryEntry> SimRegistry::descendants(RegistryEntry entry) {
  auto lock = model_.sync();
  std::vector<RegistryEntry> out;
  if (entry != kAccelerator) return out;
  out.push_back(kKernelClient);
  std::vector<int> live = model_.liveInKernelOrder();
  std::reverse(live.begin(), live.end());  // oldest client first
  for (int i : live) {
    int n = model_.table().processes[static_cast<std::size_t>(i)].gpuClients;
    for (int c = 0; c < std::min(n, kMaxClients); ++c) {
      out.push_back(kClientBase + static_cast<RegistryEntry>(i) * kMaxClients +
                    static_cast<RegistryEntry>(c));
    }
  }
  return out;
}

}  // namespace ebbwise::sim
