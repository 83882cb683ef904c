// The machine as a whole: determinism, conservation of energy, the battery,
// sleep, the charger and the process table over time.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "machine_fixture.h"
#include "sim/battery_pack.h"
#include "sim/embedded_scenarios.h"

namespace ebbwise::sim {
namespace {

using testing::chipCounters;
using testing::Machine;
using testing::quietScenario;
using testing::smcFloat;

Scenario defaultScenario() {
  return Machine::parseOrDie(embeddedScenarios().at("default"));
}

// Everything a tracker reads in one tick, flattened for comparison.
std::string observe(Machine& m) {
  std::string out;
  for (sys::Pid pid : m.pids()) {
    auto r = m.procs().rusage(pid);
    out += std::to_string(pid) + ":" + std::to_string(r ? r->energyNJ : 0) + " ";
  }
  out += "PSTR=" + std::to_string(smcFloat(m.mac->smc(), "PSTR").value_or(-1)) + " ";
  for (const auto& [name, value] : chipCounters(m.mac->ioReport()))
    out += name + "=" + std::to_string(value) + " ";
  out += m.mac->registry().properties(1)->dump();
  for (auto entry : m.mac->registry().descendants(2))
    out += m.mac->registry().properties(entry)->dump();
  return out;
}

TEST(MachineTest, AnswersDependOnlyOnScenarioSeedAndTime) {
  const Scenario scenario = defaultScenario();
  Machine steady(scenario), restless(scenario);
  // One machine is asked every 5 s; the other also in between, at odd
  // instants and in another order; they must agree wherever both answer.
  for (int tick = 1; tick <= 200; ++tick) {
    steady.advance(5);
    restless.advance(1.7);
    restless.mac->truth();
    smcFloat(restless.mac->smc(), "PDTR");
    restless.advance(2.1);
    restless.mac->registry().properties(1);
    restless.pids();
    restless.clock.set(steady.clock.now());
    if (tick % 20 != 0) continue;
    EXPECT_EQ(observe(steady), observe(restless)) << "tick " << tick;
  }
}

TEST(MachineTest, DefaultScenarioConservesEnergyAndCountersOnlyGrow) {
  const Scenario scenario = defaultScenario();
  Machine m(scenario);
  const TruthSnapshot first = m.mac->truth();
  const auto chipFirst = chipCounters(m.mac->ioReport());
  std::map<std::pair<sys::Pid, std::uint64_t>, std::uint64_t> energy;
  std::map<std::string, std::int64_t> channels = chipFirst;
  for (double t = 0; t < scenario.duration; t += 5) {
    m.advance(5);
    for (sys::Pid pid : m.pids()) {
      auto r = m.procs().rusage(pid);
      if (!r) continue;
      auto& last = energy[{pid, r->procStartAbstime}];
      ASSERT_GE(r->energyNJ, last) << "pid " << pid << " at " << t;
      last = r->energyNJ;
    }
    if (static_cast<int>(t) % 300 != 0) continue;
    for (const auto& [name, value] : chipCounters(m.mac->ioReport())) {
      ASSERT_GE(value, channels[name]) << name << " at " << t;
      channels[name] = value;
    }
  }
  const TruthSnapshot last = m.mac->truth();
  const TruthInterval run = interval(first, last);
  // The default session exercises every part, so the balances below cover them all.
  for (Part p : {Part::video, Part::neuralEngine, Part::chargingLoss, Part::usbC, Part::sleep})
    EXPECT_GT(run.part(p), 0) << partName(p);

  // The system is the sum of its parts, and energy balances at the battery.
  EXPECT_NEAR(run.systemJoules, run.partsJoules(), 1e-6 * run.systemJoules);
  EXPECT_NEAR(run.chargerJoules + run.batteryOutJoules, run.systemJoules + run.batteryInJoules,
              1e-6 * run.systemJoules);
  EXPECT_NEAR(last.batteryJoules - first.batteryJoules, run.batteryInJoules - run.batteryOutJoules,
              1e-3);
  double processCpu = 0;
  for (const auto& p : run.processes) processCpu += p.cpuJoules;
  EXPECT_NEAR(processCpu, run.part(Part::cpu), 1e-6 * processCpu);

  // The charge moved exactly by the energy drawn through the voltage curve.
  BatteryPack pack(scenario.machine.battery.fullMAh);
  const double q0 = first.chargeMAh * 3.6, q1 = last.chargeMAh * 3.6;
  double curve = 0;
  const int steps = 100000;
  for (int i = 0; i < steps; ++i)
    curve += pack.voltageAt(q0 + (q1 - q0) * (i + 0.5) / steps) * (q1 - q0) / steps;
  EXPECT_NEAR(curve, run.batteryInJoules - run.batteryOutJoules, 1.0);

  // The chip's channels count the chip's parts, each in its own unit.
  auto chipLast = chipCounters(m.mac->ioReport());
  auto delta = [&](const std::string& name) { return double(chipLast[name] - chipFirst.at(name)); };
  EXPECT_NEAR(delta("CPU Energy") / 1e3, run.part(Part::cpu), 0.05);
  EXPECT_NEAR(delta("GPU Energy") / 1e9, run.part(Part::gpu), 1e-6);
  double chip = delta("CPU Energy") / 1e3 + (delta("apciec2 Energy") + delta("DISP0_0")) / 1e6;
  for (const char* name :
       {"GPU", "GPU SRAM0_0", "ANE0_0", "DRAM0_0", "AVE0_0", "VDEC0_0", "ISP0_0", "AMCC0"})
    chip += delta(name) / 1e3;
  EXPECT_NEAR(chip, run.chipJoules(), 0.05);
}

TEST(MachineTest, SystemPowerIntegratesToTheTruth) {
  Machine m(quietScenario(
      "", R"("processes": [{"path": "/bin/busy", "cpu": 6, "gpu": 2, "fluctuation": 1}])"));
  const TruthSnapshot before = m.mac->truth();
  // Power is constant within each 2-second slot, so samples in the middle of
  // the slots integrate exactly (up to the float the controller hands out).
  double joules = 0;
  for (int slot = 0; slot < 300; ++slot) {
    m.advance(1);
    joules += *smcFloat(m.mac->smc(), "PSTR") * 2.0;
    m.advance(1);
  }
  EXPECT_NEAR(joules, m.mac->truth().systemJoules - before.systemJoules, joules * 1e-6);
}

TEST(MachineTest, SleepStopsProcessesAndTheTickCounter) {
  Machine m(quietScenario("", R"(
    "processes": [{"id": "app", "path": "/bin/app", "cpu": 2},
                  {"id": "late", "path": "/usr/bin/late", "start": 800}],
    "events": [{"at": 100, "type": "sleep", "duration": 600}])"));
  ASSERT_EQ(m.mac->sleeps().size(), 1u);
  EXPECT_EQ(m.mac->sleeps()[0].start, m.mac->startDate() + 100);
  EXPECT_EQ(m.mac->sleeps()[0].seconds(), 600);
  const std::uint64_t ticks0 = m.clock.monotonicTicks();
  const sys::Pid app = m.pidOf("/bin/app");

  m.advance(200);
  const auto asleep = m.procs().rusage(app)->energyNJ;
  const TruthSnapshot early = m.mac->truth();
  EXPECT_NEAR(*smcFloat(m.mac->smc(), "PSTR"), 0.11, 1e-6);
  m.advance(450);
  EXPECT_EQ(m.procs().rusage(app)->energyNJ, asleep);
  const TruthInterval nap = interval(early, m.mac->truth());
  EXPECT_NEAR(nap.systemJoules, 0.11 * 450, 1e-6);

  m.advance(200);  // awake again at 850
  EXPECT_GT(m.procs().rusage(app)->energyNJ, asleep);
  // The late process started at 800 s, 200 s of awake time after the start.
  auto late = m.procs().rusage(m.pidOf("/usr/bin/late"));
  ASSERT_TRUE(late);
  EXPECT_EQ(late->procStartAbstime, ticks0 + m.clock.timebase().secondsToTicks(200));
}

TEST(MachineTest, ChargerFeedsTheSystemChargesTheBatteryAndHoldsItFull) {
  Machine m(quietScenario(R"("battery": {"percent": 97})", R"(
    "processes": [{"path": "/bin/work", "cpu": 8}],
    "events": [{"at": 60, "type": "plug", "name": "96W USB-C Power Adapter", "watts": 96},
               {"at": 10000, "type": "unplug"}])"));
  auto battery = [&] { return *m.mac->registry().properties(1); };
  auto smc = [&](const char(&key)[5]) { return *smcFloat(m.mac->smc(), key); };
  m.advance(30);
  EXPECT_EQ(smc("PDTR"), 0.0f);
  EXPECT_FALSE(battery().contains("AdapterDetails"));

  m.advance(40);  // 10 s after plugging in
  auto b = battery();
  EXPECT_EQ(b["IsCharging"], true);
  EXPECT_EQ(b["AvgTimeToFull"], 65535);  // still estimating
  EXPECT_EQ(b["AdapterDetails"]["Watts"], 96);
  EXPECT_GT(b["Amperage"].get<int>(), 0);
  const float pstr = smc("PSTR"), pdtr = smc("PDTR");
  EXPECT_GT(pdtr, pstr);
  EXPECT_LE(pdtr, 96.0f + 1e-3f);
  // The battery gains what comes in beyond the system's own use.
  EXPECT_NEAR(m.mac->truth().batteryWatts, pdtr - pstr, 1e-3);

  m.advance(9000);  // full: the charger carries the system alone
  b = battery();
  EXPECT_EQ(b["FullyCharged"], true);
  EXPECT_EQ(b["IsCharging"], false);
  EXPECT_EQ(b["Amperage"], 0);
  EXPECT_EQ(smc("PDTR"), smc("PSTR"));
  EXPECT_NEAR(m.mac->truth().batteryPercent, 100, 1e-9);
  EXPECT_TRUE(std::isinf(m.mac->trueMinutesToEmpty()));

  m.advance(1000);  // unplugged since 10000 s
  EXPECT_FALSE(battery().contains("AdapterDetails"));
  EXPECT_EQ(smc("PDTR"), 0.0f);
  EXPECT_EQ(m.mac->truth().batteryWatts, -m.mac->truth().systemWatts);
}

TEST(MachineTest, AnEmptyBatteryStopsTheMachineUntilACharger) {
  Machine m(quietScenario(R"("battery": {"percent": 1})", R"(
    "processes": [{"path": "/bin/hog", "cpu": 30}],
    "events": [{"at": 600, "type": "plug", "name": "30W USB-C Power Adapter", "watts": 30}])"));
  const sys::Pid hog = m.pidOf("/bin/hog");
  m.advance(300);
  const TruthSnapshot flat = m.mac->truth();
  EXPECT_EQ(flat.batteryJoules, 0);
  EXPECT_EQ(flat.systemWatts, 0);
  const auto frozen = m.procs().rusage(hog)->energyNJ;
  m.advance(200);
  EXPECT_EQ(m.procs().rusage(hog)->energyNJ, frozen);

  m.advance(1800);  // the charger brings it back
  const TruthSnapshot back = m.mac->truth();
  EXPECT_GT(m.procs().rusage(hog)->energyNJ, frozen);
  EXPECT_NEAR(back.chargerJoules + back.batteryOutJoules, back.systemJoules + back.batteryInJoules,
              1e-6 * back.systemJoules);  // nothing lost while it was off
}

TEST(MachineTest, KilledProcessesEndAndKeepTheirEnergy) {
  Machine m(quietScenario("", R"("processes": [
      {"id": "app", "path": "/bin/app", "cpu": 1, "fluctuation": 0},
      {"id": "daemon", "path": "/usr/sbin/d", "root": true, "cpu": 1}])"));
  auto& p = m.procs();
  const sys::Pid app = m.pidOf("/bin/app");
  m.advance(10);
  EXPECT_TRUE(p.kill(app, 0));   // only a question
  EXPECT_TRUE(p.kill(app, 17));  // a signal it ignores
  EXPECT_TRUE(p.rusage(app));
  // Not ours: another user's, launchd, a stranger, and the monitor itself.
  for (sys::Pid pid : {m.pidOf("/usr/sbin/d"), 1, 99999, p.ownPid()})
    EXPECT_FALSE(p.kill(pid, 15)) << pid;
  EXPECT_TRUE(p.kill(app, 15));
  EXPECT_FALSE(p.rusage(app));
  const double energy = m.truthOf(m.mac->truth(), "/bin/app").cpuJoules;
  EXPECT_NEAR(energy, 10, 1e-9);
  m.advance(10);
  const TruthSnapshot later = m.mac->truth();
  EXPECT_FALSE(m.truthOf(later, "/bin/app").running);
  EXPECT_EQ(m.truthOf(later, "/bin/app").cpuJoules, energy);
}

TEST(MachineTest, AReusedPidIsANewProcess) {
  Machine m(quietScenario("", R"("processes": [
      {"id": "a", "pid": 4000, "path": "/usr/bin/first", "start": 10, "end": 60, "cpu": 1},
      {"id": "b", "pid": 4000, "path": "/usr/bin/second", "start": 120, "cpu": 1, "fluctuation": 0}])"));
  auto& p = m.procs();
  m.advance(30);
  auto first = p.rusage(4000);
  ASSERT_TRUE(first);
  m.advance(60);
  EXPECT_FALSE(p.rusage(4000));
  m.advance(60);
  auto second = p.rusage(4000);
  ASSERT_TRUE(second);
  EXPECT_GT(second->procStartAbstime, first->procStartAbstime);
  EXPECT_NEAR(second->energyNJ / 1e9, 30, 1e-6);  // counts from its own start
  int withPid = 0;
  for (const auto& t : m.mac->truth().processes) withPid += t.pid == 4000;
  EXPECT_EQ(withPid, 2);
}

TEST(MachineTest, AScenarioBuiltInCodeIsKeptInRange) {
  Scenario s;
  s.machine.backgroundDaemons = 3;
  s.machine.battery.percent = 250;
  s.machine.brightness = -4;
  ScenarioProcess p;
  p.id = "odd";
  p.path = "/bin/odd";
  p.pid = 1 << 30;
  p.parent = p.responsible = "nobody";
  p.load.cpu = 2;
  p.load.gpu = -5;
  p.load.fluctuation = 7;  // would make some slots draw negative power
  s.processes.push_back(p);
  for (double at : {50.0, 40.0}) {  // out of order, and two sleeps that overlap
    Event& sleep = s.events.emplace_back();
    std::tie(sleep.at, sleep.type, sleep.value) = std::tuple(at, EventType::sleep, 30.0);
  }
  Machine m(s);
  const sys::Pid odd = m.pidOf("/bin/odd");
  ASSERT_TRUE(odd > 1 && odd < 100000) << odd;
  EXPECT_EQ(m.procs().bsdInfo(odd)->parentPid, 1);
  EXPECT_EQ(m.procs().responsiblePid(odd), odd);
  ASSERT_EQ(m.mac->sleeps().size(), 1u);
  EXPECT_EQ(m.mac->sleeps()[0].seconds(), 40);  // 40…70 and 50…80 merge
  std::uint64_t last = 0;
  for (int i = 0; i < 60; ++i) {
    m.advance(2);
    ASSERT_GE(m.procs().rusage(odd)->energyNJ, last);
    last = m.procs().rusage(odd)->energyNJ;
  }
  const TruthSnapshot t = m.mac->truth();
  EXPECT_NEAR(t.batteryPercent, 100, 1);
  EXPECT_GE(t.part(Part::gpu), 0);
  EXPECT_NEAR(t.systemJoules, t.partsJoules(), 1e-6 * t.systemJoules);
}

}  // namespace
}  // namespace ebbwise::sim
