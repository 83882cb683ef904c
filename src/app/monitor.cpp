#include "app/monitor.h"

#include "accounting/default_readers.h"
#include "app/hardware_split.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/processes/process_scanner.h"

namespace ebbwise {

Monitor::Monitor(const sys::Platform& platform, std::unique_ptr<Store> store)
    : platform_(platform),
      tracker_(std::make_unique<Tracker>(std::move(store), platform.clock.now(),
                                         platform.clock.monotonicTicks(),
                                         defaultReaders(platform))),
      hardware_(std::make_unique<HardwareMeasuring>(platform)),
      screen_(platform.displays, platform.displayServices),
      keyboardLight_(platform.coreBrightness) {
  hardware_->setSpeakersInUseBy([this] { return HardwareSplit::speakersKeptOnBy(playingApps); });
  tick();
  timer_ =
      platform_.runLoop.scheduleRepeating(Tracker::interval, kTickTolerance, [this] { tick(); });
}

Monitor::~Monitor() {
  platform_.runLoop.cancel(timer_);
}

void Monitor::willTerminate() {
  tracker_->flush();
}

void Monitor::tick() {
  std::optional<BatteryReading> reading = BatteryReading::read(platform_.registry);
  if (!reading) return;
  lastTickAt = platform_.clock.now();

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

  playingApps.clear();
  for (std::int32_t pid : AudioPlayback::playingPIDs(platform_.audio, platform_.environment)) {
    if (auto name = tracker_->rowName(pid)) playingApps.insert(*name);
  }
  brightness = screen_.builtInBrightness();
  const bool speakersOn = !playingApps.empty();
  hardware_->scan(brightness, speakersOn, tracker_->lastOffChipWatts());
  HardwareReading hardware =
      HardwareSplit::forTick(*hardware_, *tracker_, brightness, speakersOn, keyboardLight_.level(),
                             HardwareSplit::intoBatteryWatts(*tracker_, reading->onAC));
  double total = nowDrain.value_or(nowUsed.value_or(0));
  nowRows = EnergySplit::simpleBreakdown(tracker_->appWatts(), total, tracker_->chipWatts(),
                                         tracker_->billedGraphicsWatts(), hardware, kRowLimit,
                                         kRowMinWatts);
  nowRowWatts.clear();
  for (const auto& row : nowRows) nowRowWatts[row.row.name] += row.watts;

  ++changes;
  if (tickObserver_) tickObserver_();
}

}  // namespace ebbwise
