#include "app/charger_and_devices.h"

#include <algorithm>

#include "sensors/devices/usb_devices.h"
#include "sensors/devices/usbc_partners.h"

namespace ebbwise {

ChargerAndDevices::ChargerAndDevices(const sys::Platform& platform, std::function<void()> onChange)
    : platform_(platform),
      onChange_(std::move(onChange)),
      queue_(platform.runLoop.makeSerialQueue(kQueueLabel)) {}

ChargerAndDevices::~ChargerAndDevices() {
  // Work in progress finishes and queued work is dropped; results posted to
  // the main loop find this object gone.
  queue_.reset();
  alive_.reset();
}

template <typename Result>
void ChargerAndDevices::probe(std::function<Result()> work, std::function<void(Result)> apply) {
  std::weak_ptr<bool> alive = alive_;
  sys::RunLoop& loop = platform_.runLoop;
  queue_->async([work = std::move(work), apply = std::move(apply), alive, &loop]() mutable {
    Result result = work();
    loop.post([apply = std::move(apply), alive, result = std::move(result)]() mutable {
      if (alive.lock()) apply(std::move(result));
    });
  });
}

void ChargerAndDevices::updateCharging(const std::optional<BatteryReading>& battery,
                                       const std::optional<ChargeFlow>& flow) {
  if (!battery || !battery->onAC) {
    isChargingNow = false;
  } else if (!flow) {
    isChargingNow = battery->isCharging;
  } else {
    isChargingNow = chargingLatch.update(flow->batteryWatts());
  }
}

void ChargerAndDevices::updateChargerBrand(const BatteryReading& reading) {
  if (lastOnAC == reading.onAC) return;
  lastOnAC = reading.onAC;
  if (!reading.onAC) {
    chargerBrand.reset();
    return;
  }
  std::set<std::int64_t> powered;
  for (const USBPowerOut& out : reading.powerOut) powered.insert(out.port);
  sys::Registry& registry = platform_.registry;
  probe<USBCPartners::Partners>(
      [&registry] { return USBCPartners::read(registry); },
      [this, powered](USBCPartners::Partners partners) {
        // Ports the Mac powers hold devices, not the charger.
        std::erase_if(partners,
                      [&](const auto& partner) { return powered.contains(partner.first); });
        chargerBrand =
            partners.empty() ? std::nullopt : USBCPartners::brand(partners.begin()->second);
        if (onChange_) onChange_();
      });
}

std::vector<HardwareReading::USBDevice> ChargerAndDevices::usbRows(const BatteryReading& reading) {
  std::set<std::int64_t> ports;
  for (const USBPowerOut& out : reading.powerOut) ports.insert(out.port);
  if (ports != usbPortsSeen) {
    usbPortsSeen = ports;
    if (!ports.empty()) {
      sys::ToolRunner& tools = platform_.toolRunner;
      probe<USBDevices::Buses>([&tools] { return USBDevices::read(tools); },
                               [this](USBDevices::Buses buses) {
                                 usbNames.clear();
                                 for (auto& [bus, names] : buses) usbNames[bus] = std::move(names);
                                 if (onChange_) onChange_();
                               });
    }
  }
  std::vector<HardwareReading::USBDevice> rows;
  for (const USBPowerOut& out : reading.powerOut) {
    auto names = usbNames.find(out.port);
    rows.push_back(
        {USBDevices::rowName(names == usbNames.end()
                                 ? std::nullopt
                                 : std::optional<std::vector<std::string>>(names->second)),
         out.watts});
  }
  return rows;
}

void ChargerAndDevices::refreshDevices(bool force) {
  const sys::Date now = platform_.clock.now();
  if (!force && devicesCheckedAt && now - *devicesCheckedAt < kDeviceRefreshSeconds) return;
  devicesCheckedAt = now;
  sys::ToolRunner& tools = platform_.toolRunner;
  probe<std::vector<DeviceBattery>>(
      [&tools] {
        std::vector<DeviceBattery> all = DeviceBattery::read(tools);
        std::erase_if(all, [](const DeviceBattery& d) { return !d.isConnected; });
        return all;
      },
      [this](std::vector<DeviceBattery> connected) {
        devices = std::move(connected);
        if (onChange_) onChange_();
      });
}

std::optional<double> ChargerAndDevices::minutesToFull(const std::optional<BatteryReading>& battery,
                                                       const std::optional<ChargeFlow>& flow) {
  if (!battery || !battery->onAC || !flow) return std::nullopt;
  return flow->minutesToFull(battery->remainingWh, battery->fullWh);
}

std::vector<HeatWarning::Message> ChargerAndDevices::heatWarnings(
    int thermalState, const std::optional<BatteryReading>& battery) const {
  return HeatWarning::messages(
      thermalState, battery ? battery->temperatureC : std::optional<double>(), isChargingNow);
}

}  // namespace ebbwise
