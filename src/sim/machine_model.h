#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/battery_pack.h"
#include "sim/process_table.h"
#include "sim/scenario.h"
#include "sim/truth.h"
#include "sys/clock.h"

namespace ebbwise::sim {

// One energy channel as the chip publishes it.
struct EnergyChannel {
  enum class Kind { leaf, sumOfLeaves, totalOfLeaves };
  std::string name;
  std::string unit;        // "mJ", "uJ", "nJ"
  double perJoule = 1000;  // units per joule
  Kind kind = Kind::leaf;
  std::vector<int> leaves;  // the one leaf, or the leaves it adds up
};

// The simulated MacBook's state over time. Between two boundaries (the start
// of a time slot, a scenario event, a process starting or ending, the battery
// filling or running flat) every power is constant, so each energy is the
// value at the last boundary plus a rate times the time since: exact, and the
// same whatever instants the machine is asked at.
//
// Thread safety: `sync()` locks the model and brings it to the clock's time;
// every other member assumes the caller holds that lock.
class MachineModel {
 public:
  MachineModel(Scenario scenario, sys::Clock& clock);

  [[nodiscard]] std::unique_lock<std::mutex> sync();

  const Scenario& scenario() const { return scenario_; }
  const ProcessTable& table() const { return table_; }
  const BatteryPack& pack() const { return pack_; }
  sys::Date startDate() const { return start_; }
  // Seconds since the scenario start at the instant being answered.
  double time() const { return t_; }
  sys::Date date() const { return start_ + t_; }

  // Processes. Indices are into `table().processes`.
  const std::vector<int>& liveInKernelOrder() const { return live_; }
  int liveIndex(sys::Pid pid) const;  // -1 when no live process has it
  std::uint64_t startTicks(int i) const { return startTicks_[static_cast<std::size_t>(i)]; }
  double startDate(int i) const;  // seconds since 1970
  std::uint64_t energyNJ(int i) const;
  double cpuJoules(int i) const;
  double gpuJoules(int i) const;
  std::uint64_t gpuTimeNs(int i, int client) const;
  sys::Pid parentPid(int i) const;
  bool hasAudioObject(int i) const { return audioClient_[static_cast<std::size_t>(i)]; }
  bool runningOutput(int i) const;
  // Ends a live process now; false when it is not live.
  bool kill(int i);

  // The machine's state now.
  bool awake() const { return !asleep_ && !flat_; }
  // The battery ran empty: the machine hibernates until a charger brings it
  // back to a few percent.
  bool hibernating() const { return flat_; }
  // Every hibernation so far, by time; the last may still go on (its
  // seconds are infinite).
  const std::vector<SleepPeriod>& hibernations() const { return hibernations_; }
  // Seconds from the start to the next boundary, after which power may
  // change; infinity when nothing more will happen.
  double nextBoundary() const { return tNext_; }
  bool lidOpen() const { return lidOpen_; }
  bool builtInDisplayOn() const { return awake() && lidOpen_ && !displayAsleep_; }
  bool builtInDisplayListed() const { return lidOpen_ || !externalDisplay_; }
  bool externalDisplay() const { return externalDisplay_; }
  double brightness() const { return brightness_; }
  double keyboardLevel() const { return keyboard_; }
  AudioOutput output() const { return output_; }
  const std::optional<Charger>& charger() const { return charger_; }
  const std::map<int, USBDevice>& usbDevices() const { return usb_; }
  void setBrightness(double level);
  void setKeyboardLevel(double level);
  // How the monitor's own process uses the audio output (its audio engine).
  void setOwnAudio(AudioUse use);

  // Low Power Mode: the user's setting and whether it is in effect now.
  LowPowerSetting lowPowerSetting() const { return lowPower_; }
  bool lowPowerMode() const;
  void setLowPowerSetting(LowPowerSetting setting);
  // The chip's temperature now, and the thermal state the system last
  // judged from it (0 nominal … 3 critical).
  double chipTemperatureC() const;
  int thermalLevel() const { return thermal_; }

  // Power now, in watts.
  double systemWatts() const { return rate_.system; }
  double chargerWatts() const { return rate_.charger; }
  double batteryWatts() const { return batteryRate_; }  // + into the battery
  double partWatts(Part p) const { return rate_.parts[static_cast<std::size_t>(p)]; }

  // The battery now.
  double charge() const;                               // coulombs
  double gaugeCharge() const { return gaugeCharge_; }  // what the gauge last reported
  double batteryJoules() const;
  double voltage() const { return pack_.voltageAt(charge()); }
  bool isCharging() const { return batteryRate_ > 0.05; }
  bool fullyCharged() const { return charger_ && fullHold_; }
  double temperatureC() const;
  // Optimised charging: the battery is held at 80 % (`chargeHeld`), or the
  // hold is over and the charge is being finished slowly.
  bool chargeHeld() const;
  bool finishingCharge() const;
  // The gauge's estimates of the full capacity in mAh: its raw maximum
  // (`which` 0) and its nominal capacity (1). Each wanders around the true
  // capacity, learned afresh every `kCapacitySeconds`.
  double capacityEstimate(int which) const;
  bool estimating() const;  // the system is still working out its time estimates
  std::optional<double> systemMinutesToEmpty() const;
  std::optional<double> systemMinutesToFull() const;

  // The chip's energy channels and their counters in their units.
  const std::vector<EnergyChannel>& channels() const { return channels_; }
  std::int64_t channelValue(std::size_t channel) const;

  TruthSnapshot truth() const;
  // Fills `out`, reusing its storage.
  void rowSnapshot(RowSnapshot& out) const;
  double trueMinutesToEmpty() const;

  // Monotonic ticks at `t` seconds from the start: the clock's counter does
  // not run while the machine sleeps.
  std::uint64_t ticksAt(double t) const;
  double sleepBefore(double t) const;

  static constexpr double kSlotSeconds = 2;
  static constexpr double kGaugeSeconds = 20;
  static constexpr double kCapacitySeconds = 1800;
  static constexpr double kHeldFraction = 0.8;  // optimised charging holds here

 private:
  struct Totals {
    PartArray parts{};
    double system = 0, charger = 0, batteryOut = 0, batteryIn = 0;
    std::vector<double> cpu, gpu, leaves;
  };
  struct Item {
    double t;
    int rank;  // order at one instant: ends, sleeps, starts, events
    std::size_t index;
  };
  enum ItemRank { kEnd, kSleepEnd, kSleepStart, kStart, kEvent };

  void advanceTo(double t);
  void commitTo(double t);
  void applyItem(const Item& item);
  void applyEvent(const Event& e);
  void recomputeRates();
  void rebuildLive();
  void endProcess(std::size_t i);
  void setFlat(bool flat, double at);
  bool holdPhase() const;    // within an optimised charge's hold time
  bool finishPhase() const;  // after it, until full
  void updateThermal();
  double slotWatts(double mean, const Load& load, std::size_t i, std::int64_t slot,
                   std::uint64_t salt) const;
  double burst(double mean, std::uint64_t salt, std::int64_t slot) const;
  double elapsed() const { return t_ - tb_; }

  Scenario scenario_;
  sys::Clock& clock_;
  sys::Date start_;
  std::uint64_t ticks0_;
  sys::Timebase timebase_;
  ProcessTable table_;
  BatteryPack pack_;
  std::mutex mutex_;

  // The timeline of discrete changes, by time.
  std::vector<Item> items_;
  std::size_t nextItem_ = 0;

  // Discrete state.
  bool asleep_ = false, flat_ = false, fullHold_ = false;
  bool lidOpen_ = true, displayAsleep_ = false, externalDisplay_ = false;
  double brightness_ = 0.6, keyboard_ = 0.3;
  AudioOutput output_ = AudioOutput::speakers;
  std::optional<Charger> charger_;
  std::map<int, USBDevice> usb_;
  std::vector<Load> loads_;
  std::vector<std::uint64_t> startTicks_;
  std::vector<bool> audioClient_;
  std::vector<int> live_;     // live processes, newest first
  std::vector<int> pidMap_;   // pid → live index or -1
  double lastSwitch_ = -1e9;  // last plug or unplug
  double pluggedAt_ = 0;      // when the present charger was plugged in
  double lastWake_ = -1e9;
  std::vector<SleepPeriod> hibernations_;

  // Continuous state at the last boundary `tb_`, and its rates since.
  double tb_ = 0, t_ = 0, tNext_ = 0;
  Totals at_, rate_;
  double batteryJ_ = 0, batteryRate_ = 0;
  double tempC_ = 0, tempTarget_ = 0;
  double chipC_ = 0, chipTarget_ = 0;
  int thermal_ = 0;
  LowPowerSetting lowPower_ = LowPowerSetting::never;
  double ceiling_ = 0;      // the energy the battery charges up to now
  double avgBatteryW_ = 0;  // the system's smoothed battery power
  double gaugeCharge_ = 0;
  double crossing_ = 0;  // when the battery fills or empties at the current rate

  std::vector<EnergyChannel> channels_;
  int eCores_ = 4, pCores_ = 4;
  int leafPAcc_ = -1, leafMCpu_ = -1, leafGpu_ = -1, leafSram_ = -1, leafAne_ = -1, leafDram_ = -1,
      leafAve_ = -1, leafVdec_ = -1, leafIsp_ = -1, leafAmcc_ = -1, leafDisp_ = -1, leafPcie_ = -1;
  std::size_t leafCount_ = 0;
};

}  // namespace ebbwise::sim
