#include "app/monitor.h"

#include <cmath>

#include "sensors/hardware/audio_playback.h"
#include "accounting/default_readers.h"
#include "app/hardware_split.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/processes/process_scanner.h"

namespace ebbwise {

Monitor::Monitor(const sys::Platform& platform, std::unique_ptr<Store> store)
    : power(platform, [this] { published(); }),
      tabs(platform, [this] { published(); }),
      platform_(platform),
      tracker_(std::make_unique<Tracker>(std::move(store), platform.clock.now(),
                                         platform.clock.monotonicTicks(),
                                         defaultReaders(platform))),
      hardware_(std::make_unique<HardwareMeasuring>(platform)),
      screen_(platform.displays, platform.displayServices),
      keyboardLight_(platform.coreBrightness) {
  hardware_->setSpeakersInUseBy([this] { return HardwareSplit::speakersKeptOnBy(playingApps); });
  if (auto stored = platform_.userDefaults.object(kCapacityKey)) {
    // A damaged record is no record: the average starts afresh.
    capacity = CapacityAverage::fromJSON(*stored).value_or(CapacityAverage{});
  }
  watchPowerSource();
  watchThermalState();
  tick();
  timer_ =
      platform_.runLoop.scheduleRepeating(Tracker::interval, kTickTolerance, [this] { tick(); });
}

Monitor::~Monitor() {
  powerSourceLoop_.reset();
  platform_.processInfo.removeObserver(thermalObserver_);
  platform_.runLoop.cancel(fastTicks_);
  platform_.runLoop.cancel(timer_);
}

void Monitor::watchPowerSource() {
  // Without the notification the 5-second timer alone drives the ticks.
  powerSourceLoop_ = platform_.powerSources.createRunLoopSource(platform_.runLoop, [this] {
    tick();
    scanFastForAWhile();
  });
}

void Monitor::watchThermalState() {
  thermalState = static_cast<int>(platform_.processInfo.thermalState());
  thermalObserver_ = platform_.processInfo.addObserver(
      sys::ProcessInfoNotification::thermalStateDidChange, [this] {
        thermalState = static_cast<int>(platform_.processInfo.thermalState());
        published();
      });
}

void Monitor::scanFastForAWhile() {
  platform_.runLoop.cancel(fastTicks_);
  fastTicksLeft_ = kFastTicks;
  fastTicks_ = platform_.runLoop.scheduleRepeating(kFastTickSeconds, 0, [this] {
    tick();
    if (--fastTicksLeft_ <= 0) {
      platform_.runLoop.cancel(fastTicks_);
      fastTicks_ = 0;
    }
  });
}

void Monitor::setPanelOpen(bool open) {
  panelOpen = open;
  if (open) power.refreshDevices(false);
}

std::optional<double> Monitor::netBatteryWatts() const {
  if (!battery) return std::nullopt;
  if (battery->onAC) {
    if (!chargeFlow) return std::nullopt;
    return chargeFlow->batteryWatts();
  }
  if (!nowDrain) return std::nullopt;
  return -*nowDrain;
}

void Monitor::published() {
  ++changes;
}

void Monitor::willTerminate() {
  tracker_->flush();
}

void Monitor::tick() {
  std::optional<BatteryReading> reading = BatteryReading::read(platform_.registry);
  if (!reading) return;
  const sys::Date now = platform_.clock.now();
  const double dt = lastTickAt ? now - *lastTickAt : 0;
  lastTickAt = now;

  // Between the gauge's coarse reports the charge follows the net battery
  // power of the previous tick.
  if (auto live = liveCharge.update(reading->chargeMAh, netBatteryWatts(), reading->voltage, dt)) {
    reading->chargeMAh = static_cast<std::int64_t>(std::llround(*live));
  }
  capacity.add(reading->capacityEstimates);
  platform_.userDefaults.setObject(kCapacityKey, capacity.toJSON());
  if (capacity.mean) reading->useFullCapacity(*capacity.mean);

  std::vector<ProcessSample> samples = ProcessScanner::scan(platform_.processes);
  // The alerts reach the user once notifications exist; until then only the
  // detector's state moves.
  tracker_->tick(platform_.clock.now(), *reading, samples);

  battery = reading;
  session = tracker_->session();
  minutesLeft = tracker_->minutesLeft();
  if (reading->onAC) {
    nowDrain.reset();
  } else {
    // Until the tracker has a window of its own, the battery's own rate.
    nowDrain = tracker_->nowDrainWatts().value_or(-reading->watts);
  }
  nowUsed = tracker_->nowUsedWatts();
  chargeFlow.reset();
  if (reading->onAC) {
    auto in = tracker_->nowInWatts();
    if (in && nowUsed) chargeFlow = ChargeFlow{*in, *nowUsed};
  }
  power.updateCharging(reading, chargeFlow);
  power.updateChargerBrand(*reading);
  smartCharging =
      reading->onAC ? SmartCharging::read(platform_.powerSources) : std::optional<SmartCharging>();

  playingApps.clear();
  for (std::int32_t pid : AudioPlayback::playingPIDs(platform_.audio, platform_.environment)) {
    if (auto name = tracker_->rowName(pid)) playingApps.insert(*name);
  }
  tabs.update(playingApps, now);
  brightness = screen_.builtInBrightness();
  const bool speakersOn = !playingApps.empty();
  hardware_->scan(brightness, speakersOn, tracker_->lastOffChipWatts());
  HardwareReading hardware =
      HardwareSplit::forTick(*hardware_, *tracker_, brightness, speakersOn, keyboardLight_.level(),
                             HardwareSplit::intoBatteryWatts(*tracker_, reading->onAC));
  usbRows = power.usbRows(*reading);
  hardware.usb = usbRows;
  double total = nowDrain.value_or(nowUsed.value_or(0));
  nowRows = EnergySplit::simpleBreakdown(tracker_->appWatts(), total, tracker_->chipWatts(),
                                         tracker_->billedGraphicsWatts(), hardware, kRowLimit,
                                         kRowMinWatts);
  nowRowWatts.clear();
  for (const auto& row : nowRows) nowRowWatts[row.row.name] += row.watts;
  if (panelOpen) power.refreshDevices(false);

  ++changes;
  if (tickObserver_) tickObserver_();
}

}  // namespace ebbwise
