#include "app/monitor.h"

#include <cmath>

#include "accounting/default_readers.h"
#include "app/hardware_split.h"
#include "app/range_figures.h"
#include "display_rules/series_palette.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/processes/process_scanner.h"

namespace ebbwise {

namespace {

std::vector<double> slotHues() {
  const auto hues = SeriesPalette::hues();
  return {hues.begin(), hues.end()};
}

}  // namespace

Monitor::Monitor(const sys::Platform& platform, std::unique_ptr<Store> store)
    : launchedAt(platform.clock.now()),
      chart(slotHues()),
      power(platform, [this] { published(); }),
      tabs(platform, [this] { published(); }),
      platform_(platform),
      defaults_(platform.userDefaults),
      tracker_(std::make_unique<Tracker>(std::move(store), platform.clock.now(),
                                         platform.clock.monotonicTicks(),
                                         defaultReaders(platform))),
      hardware_(std::make_unique<HardwareMeasuring>(platform)),
      screen_(platform.displays, platform.displayServices),
      keyboardLight_(platform.coreBrightness) {
  loadSettings();
  wire();
}

Monitor::~Monitor() {
  powerSourceLoop_.reset();
  for (auto id : workspaceObservers_) platform_.workspace.removeObserver(id);
  for (auto id : processInfoObservers_) platform_.processInfo.removeObserver(id);
  platform_.runLoop.cancel(fastTicks_);
  platform_.runLoop.cancel(fullscreenTimer_);
  platform_.runLoop.cancel(timer_);
}

void Monitor::loadSettings() {
  if (auto stored = platform_.userDefaults.object(kCapacityKey)) {
    // A damaged record is no record: the average starts afresh.
    capacity = CapacityAverage::fromJSON(*stored).value_or(CapacityAverage{});
  }
  settings_ = MonitorSettings::load(platform_.userDefaults);
  tracker_->detector().thresholdWatts = settings_.alertWatts;
  thermalState = static_cast<int>(platform_.processInfo.thermalState());
  lowPowerOn = platform_.processInfo.isLowPowerModeEnabled();
  if (settings_.alertsOn) requestNotificationPermission();
}

void Monitor::wire() {
  hardware_->setSpeakersInUseBy([this] { return HardwareSplit::speakersKeptOnBy(playingApps); });
  watchPowerSource();
  watchWorkspace();
  fullscreenTimer_ = platform_.runLoop.scheduleRepeating(kFullscreenSeconds, kFullscreenTolerance,
                                                         [this] { checkFullscreen(); });
  watchProcessInfo();
  tick();
  timer_ =
      platform_.runLoop.scheduleRepeating(Tracker::interval, kTickTolerance, [this] { tick(); });
}

void Monitor::watchPowerSource() {
  // Without the notification the 5-second timer alone drives the ticks.
  powerSourceLoop_ = platform_.powerSources.createRunLoopSource(platform_.runLoop, [this] {
    tick();
    scanFastForAWhile();
  });
}

void Monitor::watchWorkspace() {
  using sys::WorkspaceNotification;
  for (auto name : {WorkspaceNotification::activeSpaceDidChange,
                    WorkspaceNotification::didActivateApplication}) {
    workspaceObservers_.push_back(platform_.workspace.addObserver(
        name, [this](const sys::WorkspaceEvent&) { checkFullscreen(); }));
  }
  // The minute being gathered is written before the Mac sleeps, so a machine
  // that never wakes (an empty battery, a forced restart) keeps it.
  workspaceObservers_.push_back(platform_.workspace.addObserver(
      WorkspaceNotification::willSleep, [this](const sys::WorkspaceEvent&) { tracker_->flush(); }));
  // The first tick after a sleep spans the gap, which the tracker does not
  // account; the figures come back within seconds from a burst of fast ticks
  // rather than after the tracker's windows refill at the 5-second pace.
  workspaceObservers_.push_back(platform_.workspace.addObserver(WorkspaceNotification::didWake,
                                                                [this](const sys::WorkspaceEvent&) {
                                                                  tick();
                                                                  scanFastForAWhile();
                                                                }));
}

void Monitor::watchProcessInfo() {
  processInfoObservers_.push_back(platform_.processInfo.addObserver(
      sys::ProcessInfoNotification::thermalStateDidChange, [this] {
        thermalState = static_cast<int>(platform_.processInfo.thermalState());
        published();
      }));
  processInfoObservers_.push_back(platform_.processInfo.addObserver(
      sys::ProcessInfoNotification::powerStateDidChange,
      [this] { setLowPowerOn(platform_.processInfo.isLowPowerModeEnabled()); }));
}

void Monitor::setLowPowerOn(bool on) {
  if (on != lowPowerOn) lowPowerEvents.push_back(LowPowerEvent{platform_.clock.now(), on});
  lowPowerOn = on;
  published();
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
  if (open) {
    reloadHistory();
    power.refreshDevices(false);
  }
  published();
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

// Settings ------------------------------------------------------------------

void Monitor::storeSetting(const char* key, sys::Value value) {
  defaults_.set(key, std::move(value));
  published();
}

void Monitor::setShowInMenuBar(bool show) {
  settings_.showInMenuBar = show;
  storeSetting(MonitorSettings::kShowInMenuBar, show);
  storeSetting(MonitorSettings::kMenuBarItemVisible, show);
}

void Monitor::setHasNotch(bool present) {
  hasNotch_ = present;
  storeSetting(MonitorSettings::kMenuBarItemVisible, settings_.showInMenuBar);
}

void Monitor::setUnit(PowerUnit unit) {
  settings_.unit = unit;
  storeSetting(MonitorSettings::kPowerUnit, std::string(rawValue(unit)));
}

void Monitor::setLineTheme(LineTheme theme) {
  settings_.lineTheme = theme;
  storeSetting(MonitorSettings::kLineTheme, std::string(rawValue(theme)));
}

void Monitor::setFullscreenStyle(FullscreenStyle style) {
  settings_.fullscreenStyle = style;
  storeSetting(MonitorSettings::kFullscreenStyle, std::string(rawValue(style)));
}

void Monitor::setMenuBarStyle(MenuBarStyle style) {
  settings_.menuBarStyle = style;
  storeSetting(MonitorSettings::kMenuBarStyle, std::string(rawValue(style)));
}

void Monitor::setDemoNotch(bool on) {
  settings_.demoNotch = on;
  storeSetting(MonitorSettings::kDemoNotch, on);
}

void Monitor::hideBatteryIconTip() {
  settings_.batteryIconTipDone = true;
  storeSetting(MonitorSettings::kBatteryIconTipDone, true);
}

void Monitor::setAlertsOn(bool on) {
  settings_.alertsOn = on;
  storeSetting(MonitorSettings::kAlertsOn, on);
  if (on) requestNotificationPermission();
}

bool Monitor::setAlertWatts(double watts) {
  if (!MonitorSettings::isUsableThreshold(watts)) return false;
  settings_.alertWatts = watts;
  tracker_->detector().thresholdWatts = watts;
  storeSetting(MonitorSettings::kAlertWatts, watts);
  return true;
}

bool Monitor::launchAtLogin() const {
  return platform_.loginItem.status() == sys::LoginItemStatus::enabled;
}

void Monitor::setLaunchAtLogin(bool on) {
  // Either way the service's answer changes nothing here: the next read of
  // `launchAtLogin` shows what it did.
  if (on) {
    platform_.loginItem.registerItem();
  } else {
    platform_.loginItem.unregisterItem();
  }
  published();
}

void Monitor::requestNotificationPermission() {
  // The answer is not needed: a notification without permission is dropped
  // by the system.
  platform_.notifications.requestAuthorization(
      sys::kAuthorizationOptionAlert | sys::kAuthorizationOptionSound,
      [](bool, const std::optional<sys::PlatformError>&) {});
}

// History ranges ------------------------------------------------------------

void Monitor::setRange(HistoryRange range) {
  range_ = range;
  reloadHistory();
}

bool Monitor::setRange(std::string_view name) {
  const std::optional<HistoryRange> range = historyRangeFromRawValue(name);
  setRange(range.value_or(HistoryRange::session));
  return range.has_value();
}

void Monitor::reloadHistory() {
  const sys::Date now = platform_.clock.now();
  RangeFigures figures =
      range_ == HistoryRange::session
          ? RangeFigures::forSession(session, tracker_->store(), now.secondsSince1970)
          : RangeFigures::fromStore(range_, tracker_->store(), now.secondsSince1970);
  figures.appendLivePoint(battery, now);
  history = std::move(figures.history);
  shares = std::move(figures.shares);
  rangeSeconds = figures.seconds;
  rangeJoules = figures.joules;
  rangeAppJoules = std::move(figures.appJoules);
  published();
}

void Monitor::refreshSessionShares() {
  if (!session) {
    shares.clear();
    return;
  }
  RangeFigures figures =
      RangeFigures::sessionShares(*session, platform_.clock.now().secondsSince1970);
  shares = std::move(figures.shares);
  rangeSeconds = figures.seconds;
  rangeJoules = figures.joules;
  rangeAppJoules = std::move(figures.appJoules);
}

void Monitor::recordForChart() {
  const sys::Date now = platform_.clock.now();
  if (now - launchedAt < kChartWarmUpSeconds) return;
  chart.record(now, nowRowWatts, iconHue_);
  std::erase_if(lowPowerEvents, [&](const LowPowerEvent& event) {
    return now - event.at > ChartHistory::kSpanSeconds;
  });
}

// The tick ------------------------------------------------------------------

void Monitor::notify(const HeavyAppAlert& alert) {
  raisedAlerts.push_back(RaisedAlert{platform_.clock.now(), alert});
}

void Monitor::followPlayingApps(sys::Date now) {
  playingApps.clear();
  for (std::int32_t pid : AudioPlayback::playingPIDs(platform_.audio, platform_.environment)) {
    if (auto name = tracker_->rowName(pid)) playingApps.insert(*name);
  }
  tabs.update(playingApps, now);
}

HardwareReading Monitor::hardwareForSplit(const BatteryReading& reading, bool speakersOn) {
  HardwareReading hardware =
      HardwareSplit::forTick(*hardware_, *tracker_, brightness, speakersOn, keyboardLight_.level(),
                             HardwareSplit::intoBatteryWatts(*tracker_, reading.onAC));
  usbRows = power.usbRows(reading);
  hardware.usb = usbRows;
  return hardware;
}

// Kept by its own type once the ledger is recorded; nothing to do until then.
void Monitor::recordSinceCharge(const BatteryReading&) {}

// Process details are fetched for the open panel; nothing is cached yet.
void Monitor::refreshDetails() {}

// The notched screen's fullscreen state; until it is read, never fullscreen.
void Monitor::checkFullscreen() {}

// No stop has been sent yet, so no stopping mark can outlive its process.
void Monitor::forgetExitedStops() {}

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
  // Stored only when it moved: most ticks leave the average as it was.
  defaults_.set(kCapacityKey, capacity.toJSON());
  if (capacity.mean) reading->useFullCapacity(*capacity.mean);

  std::vector<ProcessSample> samples = ProcessScanner::scan(platform_.processes);
  std::vector<HeavyAppAlert> alerts = tracker_->tick(platform_.clock.now(), *reading, samples);

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

  if (settings_.alertsOn) {
    for (const auto& alert : alerts) notify(alert);
  }
  if (range_ == HistoryRange::session) refreshSessionShares();
  rowWatts = EnergySplit::nowWatts(shares, tracker_->appWatts(), nowDrain.value_or(0));

  followPlayingApps(now);
  brightness = screen_.builtInBrightness();
  const bool speakersOn = !playingApps.empty();
  hardware_->scan(brightness, speakersOn, tracker_->lastOffChipWatts());
  const HardwareReading hardware = hardwareForSplit(*reading, speakersOn);
  const double total = nowDrain.value_or(nowUsed.value_or(0));
  nowRows = EnergySplit::simpleBreakdown(tracker_->appWatts(), total, tracker_->chipWatts(),
                                         tracker_->billedGraphicsWatts(), hardware, kRowLimit,
                                         kRowMinWatts);
  nowRowWatts.clear();
  for (const auto& row : nowRows) nowRowWatts[row.row.name] += row.watts;

  recordForChart();
  recordSinceCharge(*reading);
  if (panelOpen) {
    refreshDetails();
    power.refreshDevices(false);
  }
  checkFullscreen();
  forgetExitedStops();

  published();
  if (tickObserver_) tickObserver_();
}

}  // namespace ebbwise
