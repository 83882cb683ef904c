#pragma once

// The simulated MacBook.
//
// Design
// ------
// One `MachineModel` holds the whole machine; one small object per platform
// service (`SimRegistry`, `SimProcesses`, `SimSMC`, `SimIOReport`,
// `SimDisplays`/`SimDisplayServices`, `SimCoreBrightness`, `SimAudio`,
// `SimEnvironment`) answers the calls a Mac answers, in the Mac's shapes,
// from that model. Nothing reaches around the calls: whatever a test needs to
// see, the machine publishes the way the platform would.
//
// Time. The machine is passive. Every call first brings the model to
// `clock.now()` (once per distinct instant) and then answers from it. The
// scenario's times count from the moment the machine is built.
//
// Exact, order-free energy. Power is piecewise constant: it changes only at
// boundaries (2-second slots, scenario events, process starts and ends, sleep
// and wake, the battery filling or running flat, and calls that change the
// machine such as setting brightness or killing a process). Between two
// boundaries every energy is the value at the last boundary plus its power
// times the time since, so counters are exact integrals and an answer at an
// instant is the same however often and in whatever order the machine was
// asked before. A slot's power comes from a counter-based generator keyed by
// (seed, process, slot), the only randomness there is.
//
// Power. The system power ("PSTR") is the sum of the parts: processes' CPU,
// GPU, neural-engine and media power, memory (a base plus a share of the
// activity), the chip's own idle, the screen (a brightness curve, off with
// the lid closed or the display asleep), keyboard light, the speaker path
// while any process holds the output (not through headphones), Wi-Fi, USB-C
// devices, the rest of the board, and while charging the heat lost in
// charging. The charger ("PDTR") feeds the system first and charges the
// battery with what is left, within the pack's taper. Asleep, only a small
// sleep power flows (and charging).
//
// Battery. A 3-cell Li-ion pack whose voltage follows its charge on a plateau
// curve; the energy it holds is the integral of that voltage over the charge,
// so the charge moves exactly with the energy drawn. The gauge reports the
// charge every 20 s; the system's own time estimates follow a smoothed
// battery power and read "estimating" for a minute after a plug change or a
// wake. An empty battery on its own makes the machine hibernate (nothing
// runs, nothing draws) until a charger brings it back to a few percent.
//
// Chip channels. Leaves (cores, GPU and its SRAM, memory, media engines,
// neural engine, fabric, display engine, PCIe) integrate their share of the
// parts; clusters and "CPU Energy" add their cores' published integers, so
// they always add up. The channel names follow the chip generation.
//
// Processes. The table holds the scenario's processes, a base system (the
// kernel, launchd, login window, window server, the monitor itself) and a
// crowd of generated daemons, with pids rising with start time. A process's
// start ticks come from the machine's own mapping (the tick counter stops
// while asleep); its energy counter is its CPU energy only (its GPU energy
// shows in the graphics channels, its GPU time in the accelerator's user
// clients). Each process knows the row name the identity rules should give
// it, and the truth sums energy per row. As on a Mac, the kernel keeps other
// users' processes from the monitor (unless the scenario runs it as root):
// they have no row, and their energy is the system's.
//
// Accessories and charging. Bluetooth accessories, the USB tree and
// browsers' tabs come from the scenario and are served through the
// hardware report tool, the registry and the script runner; optimised
// charging holds the battery at 80 % and then finishes slowly; the gauge's
// learned capacities wander around the true one; the chip's temperature
// drives the thermal state, the load and the charging the battery's.
//
// Platform differences. Where real Macs are awkward (unit labels spelt
// several ways, failed samples, busy SMC calls, missing keys and selectors,
// idle accelerator clients, headphones as a device of their own) the machine
// is too, as its scenario's platform setting says (`PlatformQuirks`).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/truth.h"
#include "sys/platform.h"

namespace ebbwise::sim {

class MachineModel;
class SimWindows;

// A span the machine sleeps through; the driver suspends its run loop over
// it (the loop's tick counter does not run meanwhile).
struct SleepSpan {
  sys::Date start;
  sys::Date end;

  double seconds() const { return end - start; }
};

// A time the battery ran out: the machine hibernated from `start` until a
// charger brought it back at `end` (absent while it still hibernates).
struct Hibernation {
  sys::Date start;
  std::optional<sys::Date> end;
};

class SimulatedMac {
 public:
  // The scenario starts at `clock`'s current time; the clock is the only
  // source of time and must outlive the machine.
  SimulatedMac(Scenario scenario, sys::Clock& clock);
  ~SimulatedMac();
  SimulatedMac(const SimulatedMac&) = delete;
  SimulatedMac& operator=(const SimulatedMac&) = delete;

  // Every platform service of the machine, with the caller's run loop and
  // the machine's clock. The machine owns the services and must outlive the
  // bundle and every object made through it (keyboard clients, brightness
  // functions).
  sys::Platform platform(sys::RunLoop& runLoop);

  const Scenario& scenario() const;
  sys::Date startDate() const;
  std::vector<SleepSpan> sleeps() const;

  // Whether the machine hibernates now because its battery ran out; nothing
  // should run on it until a charger has woken it.
  bool hibernating();
  // When the machine's power may next change (a time slot, an event, the
  // battery running out or reaching its wake charge); infinitely far when
  // nothing more will happen.
  sys::Date nextChange();
  // Every time the battery ran out so far, by time.
  std::vector<Hibernation> hibernations();

  // Ground truth at the clock's current time.
  TruthSnapshot truth();
  // The same summed per row, cheap enough for every tick; fills `out`,
  // reusing its storage.
  void rowSnapshot(RowSnapshot& out);
  // The row names `RowSnapshot::rows` follows; fixed for the machine's life.
  const std::vector<std::string>& rowNames() const;
  // Minutes until the battery is empty at the present power; infinity while
  // it is not draining.
  double trueMinutesToEmpty();
  // The whole system's power at this instant.
  double trueSystemWatts();
  // One part's power at this instant.
  double truePartWatts(Part part);

  // Sets one of the monitor's own environment variables (for example where
  // it keeps its data); call before handing out the platform.
  void setVariable(std::string name, std::string value);

  sys::Registry& registry();
  sys::Processes& processes();
  sys::SMCUserClient& smc();
  sys::IOReport& ioReport();
  sys::Displays& displays();
  sys::DisplayServices& displayServices();
  sys::CoreBrightness& coreBrightness();
  sys::AudioSystem& audio();
  sys::Environment& environment();
  sys::ToolRunner& toolRunner();
  sys::PowerSources& powerSources();
  sys::ScriptRunner& scriptRunner();
  sys::ProcessInfo& processInfo();
  // The user's side of the windows: key presses and clicks come from here.
  SimWindows& windows();
  // The monitor's settings, kept in memory for the machine's life.
  sys::UserDefaults& userDefaults();

  // The machine is about to sleep, or has woken: the workspace tells its
  // observers. The driver that suspends the loop over a sleep calls these,
  // from a task on the loop.
  void announceSleep();
  void announceWake();

  // What the machine's services did, for checking against: every
  // notification shown (replaced ones included), every address opened, the
  // password prompts shown, the successful login-item registrations,
  // whether the update framework started, and the chip's temperature now.
  std::vector<sys::DeliveredNotification> notificationHistory() const;
  std::vector<std::string> openedURLs() const;
  int passwordPrompts() const;
  int loginItemRegistrations() const;
  bool updaterStarted() const;
  double chipTemperatureC();

 private:
  struct Services;
  sys::Clock& clock_;
  std::unique_ptr<MachineModel> model_;
  std::unique_ptr<Services> services_;
};

}  // namespace ebbwise::sim
