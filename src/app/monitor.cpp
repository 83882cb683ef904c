#include "app/monitor.h"

#include <algorithm>
#include <cmath>

#include "accounting/default_readers.h"
#include "accounting/killable.h"
#include "app/hardware_split.h"
#include "app/icon_pixels.h"
#include "app/menu_bar_text.h"
#include "app/range_figures.h"
#include "display_rules/series_palette.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/processes/process_inspector.h"
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
      notifier(platform.notifications),
      lowPowerSwitch(platform.privilegedScripts,
                     [this](std::optional<std::string> error) {
                       // Whatever the script did, the shown state is the system's.
                       lowPowerError = std::move(error);
                       setLowPowerOn(platform_.processInfo.isLowPowerModeEnabled());
                     }),
      power(platform, [this] { published(); }),
      tabs(platform, [this] { published(); }),
      platform_(platform),
      defaults_(platform.userDefaults),
      tracker_(std::make_unique<Tracker>(std::move(store), platform.clock.now(),
                                         platform.clock.monotonicTicks(),
                                         defaultReaders(platform))),
      hardware_(std::make_unique<HardwareMeasuring>(platform)),
      screen_(platform.displays, platform.displayServices),
      keyboardLight_(platform.coreBrightness),
      fullscreen_(platform.screens, platform.displays, platform.windowServer, platform.workspace,
                  platform.processes) {
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
  HeavyAppDetector& detector = tracker_->detector();
  detector.restoreLastAlerts(
      HeavyAppNotifier::loadLastAlerts(defaults_, platform_.clock.now(), detector.cooldown));
  thermalState = static_cast<int>(platform_.processInfo.thermalState());
  lowPowerOn = platform_.processInfo.isLowPowerModeEnabled();
  if (settings_.alertsOn) requestNotificationPermission();
}

void Monitor::wire() {
  hardware_->setSpeakersInUseBy([this] { return HardwareSplit::speakersKeptOnBy(playingApps); });
  watchPowerSource();
  watchWorkspace();
  if (platform_.screens.isAvailable()) {
    fullscreenTimer_ = platform_.runLoop.scheduleRepeating(kFullscreenSeconds, kFullscreenTolerance,
                                                           [this] { checkFullscreen(); });
  }
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
  if (iconHue_) {
    chart.record(now, nowRowWatts, iconHue_);
  } else {
    chart.record(now, nowRowWatts, [this](const std::string& row) { return iconHue(row); });
  }
  std::erase_if(lowPowerEvents, [&](const LowPowerEvent& event) {
    return now - event.at > ChartHistory::kSpanSeconds;
  });
}

std::shared_ptr<const sys::Image> Monitor::icon(const std::string& row) {
  return rowIcons.icon(row, *tracker_, platform_.environment, platform_.workspace);
}

std::optional<double> Monitor::iconHue(const std::string& row) {
  if (iconPixelHue_) return rowIcons.hue(row, *tracker_, platform_.environment, iconPixelHue_);
  // The hue is read from the row's own icon, so the icon is fetched once
  // for both the row and its colour.
  return rowIcons.hue(row, *tracker_, platform_.environment,
                      [&](const std::string&) -> std::optional<double> {
                        const auto image = icon(row);
                        return image ? IconPixels::dominantHue(*image) : std::nullopt;
                      });
}

// The tick ------------------------------------------------------------------

void Monitor::notify(const HeavyAppAlert& alert) {
  raisedAlerts.push_back(RaisedAlert{platform_.clock.now(), alert});
  // A developer tool's row says what its heaviest process is doing.
  std::optional<std::string> facts;
  if (tracker_->isDevTool(alert.app)) {
    const Tracker::ProcessWatts top = tracker_->topProcesses(alert.app, 5);
    if (!top.empty()) {
      if (auto found = details(top.front().first)) {
        facts = ProcessFacts::facts(*found, ProcessInspector::splitRowName(alert.app).command,
                                    platform_.clock.now());
      }
    }
  }
  notifier.post(alert, facts);
}

void Monitor::keepAlertDates(const std::vector<HeavyAppAlert>& alerts) {
  if (alerts.empty()) return;
  const HeavyAppDetector& detector = tracker_->detector();
  HeavyAppNotifier::saveLastAlerts(defaults_, detector.lastAlerts(), platform_.clock.now(),
                                   detector.cooldown);
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

void Monitor::recordSinceCharge(const BatteryReading& reading, const std::vector<RowWatts>& split,
                                const EnergySplit::WattsByName& tickAppWatts) {
  sinceCharge.record(reading.onAC, session, split, tickAppWatts, platform_.clock.now(), defaults_);
}

void Monitor::refreshDetails() {
  const auto& live = tracker_->processWatts();
  processFacts.keepOnly([&](std::int32_t pid) {
    return std::any_of(live.begin(), live.end(),
                       [&](const auto& entry) { return entry.first.pid == pid; });
  });
}

void Monitor::checkFullscreen() {
  const bool now = fullscreen_.isFullscreen();
  // Twice a second: only a change is news.
  if (now == isFullscreen) return;
  isFullscreen = now;
  published();
}

void Monitor::forgetExitedStops() {
  stopper.forgetExited(platform_.processes);
}

// Processes -------------------------------------------------------------------

std::optional<ProcessDetails> Monitor::details(std::int32_t pid) {
  return processFacts.details(platform_.processes, platform_.environment, pid);
}

ProcessStopper::Targets Monitor::stoppable(const std::string& row) const {
  return ProcessStopper::stoppable(*tracker_, platform_.processes, row);
}

ProcessStopper::Outcome Monitor::stop(const std::string& row, bool force) {
  const ProcessStopper::Targets targets = stoppable(row);
  const ProcessStopper::Outcome outcome =
      targets.empty() ? ProcessStopper::Outcome{}
                      : stopper.stop(platform_.processes, targets, force, platform_.clock.now());
  stopError.reset();
  if (outcome.signalled == 0) {
    stopError = "Couldn't stop " + ProcessInspector::splitRowName(row).title +
                ": its processes have ended or are not yours to stop.";
  }
  published();
  return outcome;
}

Tracker::AppWatts Monitor::hogs() const {
  Tracker::AppWatts result;
  const auto& paths = tracker_->bundlePaths();
  for (const auto& [row, watts] : tracker_->hogs(settings_.alertWatts)) {
    auto path = paths.find(row);
    const std::optional<std::string> bundlePath =
        path == paths.end() ? std::nullopt : std::optional<std::string>(path->second);
    if (Killable::isUserStoppable(row, bundlePath, tracker_->isDevTool(row))) {
      result.emplace_back(row, watts);
    }
  }
  return result;
}

// Low Power Mode and the menu bar -----------------------------------------

void Monitor::setLowPower(bool on) {
  lowPowerError.reset();
  lowPowerSwitch.request(on);
  published();
}

void Monitor::openBatteryIconSettings() {
  openedBatteryIconSettings.reset();
  std::weak_ptr<bool> alive = alive_;
  platform_.workspace.open(kBatteryIconSettingsURL, [this, alive](bool opened) {
    if (!alive.lock()) return;
    openedBatteryIconSettings = opened;
    published();
  });
}

std::string Monitor::menuBarText() const {
  return MenuBarText::text(battery, settings_.menuBarStyle, nowDrain, minutesLeft);
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
  // Stored only when it moved: most ticks leave the average as it was.
  defaults_.set(kCapacityKey, capacity.toJSON());
  if (capacity.mean) reading->useFullCapacity(*capacity.mean);

  std::vector<ProcessSample> samples = ProcessScanner::scan(platform_.processes);
  std::vector<HeavyAppAlert> alerts = tracker_->tick(platform_.clock.now(), *reading, samples);
  keepAlertDates(alerts);

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
  // The ledger adds up energy tick by tick, so it takes each row's power
  // over this tick alone, apps at what the session counts for them: the
  // 30-second figures shown live trail a load that starts or stops, and are
  // squeezed to fit the measured drain; the ledger would keep both errors.
  if (reading->onAC) {
    recordSinceCharge(*reading, {}, {});
  } else {
    const EnergySplit::WattsByName tickApps = tracker_->tickAppWatts();
    recordSinceCharge(*reading,
                      EnergySplit::simpleBreakdown(tickApps, total, tracker_->chipWatts(),
                                                   tracker_->billedGraphicsWatts(), hardware,
                                                   kRowLimit, kRowMinWatts),
                      tickApps);
  }
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
