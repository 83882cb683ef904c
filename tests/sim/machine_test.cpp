// The machine as a whole: determinism, conservation of energy, the battery,
// sleep, the charger and the process table over time.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "machine_fixture.h"
#include "sim/battery_pack.h"

namespace ebbwise::sim {
namespace {

using testing::chipCounters;
using testing::Machine;
using testing::quietScenario;
using testing::smcFloat;

// Everything a tracker reads in one tick, flattened for comparison.
std::string observe(Machine& m) {
  std::string out;
  for (sys::Pid pid : m.pids()) {
    auto r = m.mac->processes().rusage(pid);
    out += std::to_string(pid) + ":" + std::to_string(r ? r->energyNJ : 0) + " ";
  }
  auto pstr = smcFloat(m.mac->smc(), "PSTR");
  out += "PSTR=" + std::to_string(pstr ? *pstr : -1.0f) + " ";
  for (const auto& [name, value] : chipCounters(m.mac->ioReport())) {
    out += name + "=" + std::to_string(value) + " ";
  }
  out += m.mac->registry().properties(1)->dump();
  for (auto entry : m.mac->registry().descendants(2)) {
    out += m.mac->registry().properties(entry)->dump();
  }
  return out;
}

TEST(MachineTest, AnswersDependOnlyOnScenarioSeedAndTime) {
  auto scenario = Scenario::embedded("default");
  ASSERT_TRUE(scenario) << scenario.error;
  Machine steady(*scenario.scenario);
  Machine restless(*scenario.scenario);
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
    if (tick % 20 == 0) {
      EXPECT_EQ(observe(steady), observe(restless)) << "tick " << tick;
    }
  }
  // Another seed gives another machine.
  Scenario other = *scenario.scenario;
  other.machine.seed += 1;
  Machine reseeded(other);
  reseeded.advance(1000);
  EXPECT_NE(observe(reseeded), observe(steady));
}

// Runs the default scenario to its end, checking that every counter only
// grows and that the truth balances; returns the final snapshot.
TEST(MachineTest, DefaultScenarioConservesEnergyAndCountersOnlyGrow) {
  auto scenario = Scenario::embedded("default");
  ASSERT_TRUE(scenario) << scenario.error;
  Machine m(*scenario.scenario);
  const TruthSnapshot first = m.mac->truth();
  const auto chipFirst = chipCounters(m.mac->ioReport());
  std::map<std::pair<sys::Pid, std::uint64_t>, std::uint64_t> energy;
  std::map<std::string, std::int64_t> channels = chipFirst;
  const double duration = scenario.scenario->duration;
  for (double t = 0; t < duration; t += 5) {
    m.advance(5);
    for (sys::Pid pid : m.pids()) {
      auto r = m.mac->processes().rusage(pid);
      if (!r) continue;
      auto& last = energy[{pid, r->procStartAbstime}];
      ASSERT_GE(r->energyNJ, last) << "pid " << pid << " at " << t;
      last = r->energyNJ;
    }
    if (static_cast<int>(t) % 300 == 0) {
      for (const auto& [name, value] : chipCounters(m.mac->ioReport())) {
        ASSERT_GE(value, channels[name]) << name << " at " << t;
        channels[name] = value;
      }
    }
  }
  const TruthSnapshot last = m.mac->truth();
  const TruthInterval run = interval(first, last);

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
  BatteryPack pack(scenario.scenario->machine.battery.fullMAh);
  const double q0 = first.chargeMAh * 3.6, q1 = last.chargeMAh * 3.6;
  double curve = 0;
  const int steps = 100000;
  for (int i = 0; i < steps; ++i)
    curve += pack.voltageAt(q0 + (q1 - q0) * (i + 0.5) / steps) * (q1 - q0) / steps;
  EXPECT_NEAR(curve, run.batteryInJoules - run.batteryOutJoules, 1.0);

  // The chip's channels count the chip's parts.
  auto chipLast = chipCounters(m.mac->ioReport());
  auto delta = [&](const std::string& name) { return double(chipLast[name] - chipFirst.at(name)); };
  EXPECT_NEAR(delta("CPU Energy") / 1e3, run.part(Part::cpu), 0.05);
  EXPECT_EQ(delta("CPU Energy"), delta("ECPU") + delta("PCPU"));
  EXPECT_NEAR((delta("GPU") + delta("GPU SRAM0_0")) / 1e3, run.part(Part::gpu), 0.01);
  EXPECT_NEAR(delta("GPU Energy") / 1e9, run.part(Part::gpu), 1e-6);
  double chip = delta("CPU Energy") / 1e3 + delta("apciec2 Energy") / 1e6;
  for (const char* name : {"GPU", "GPU SRAM0_0", "ANE0_0", "DRAM0_0", "AVE0_0", "VDEC0_0", "ISP0_0",
                           "AMCC0", "DISP0_0"}) {
    chip += delta(name) / 1e3;
  }
  EXPECT_NEAR(chip, run.chipJoules(), 0.05);
  EXPECT_GT(run.part(Part::video), 0);
  EXPECT_GT(run.part(Part::neuralEngine), 0);
  EXPECT_GT(run.part(Part::chargingLoss), 0);
  EXPECT_GT(run.part(Part::usbC), 0);
  EXPECT_GT(run.part(Part::sleep), 0);
}

TEST(MachineTest, DefaultScenarioIsABusyRealisticSession) {
  auto scenario = Scenario::embedded("default");
  ASSERT_TRUE(scenario) << scenario.error;
  Machine m(*scenario.scenario);
  std::size_t count = m.pids().size();
  EXPECT_GE(count, 500u);
  EXPECT_LE(count, 600u);
  EXPECT_EQ(m.pids().back(), 0);  // the kernel, listed last

  const TruthSnapshot start = m.mac->truth();
  m.advance(2 * 3600);
  const TruthInterval twoHours = interval(start, m.mac->truth());
  int above1W = 0;
  std::string graphicsHeavy;
  for (const auto& [row, energy] : twoHours.rows) {
    if (twoHours.averageWatts(energy.joules()) > 1) ++above1W;
    if (row != "WindowServer" && twoHours.averageWatts(energy.gpuJoules) > 1) graphicsHeavy = row;
  }
  EXPECT_GE(above1W, 3);
  EXPECT_FALSE(graphicsHeavy.empty());
  EXPECT_EQ(twoHours.chargerJoules, 0);  // on battery throughout
  // The window server does most of the compositing.
  EXPECT_GT(twoHours.rows.at("WindowServer").gpuJoules, twoHours.rows.at("Safari").gpuJoules);

  // Rows as the identity rules name them.
  for (const char* row : {"Google Chrome", "Safari", "Xcode", "Visual Studio Code", "Claude",
                          "Claude Code (Api-server)", "Webapp \u00B7 npm run dev", "cfprefsd",
                          "Ebbwise", "Ml-notebooks \u00B7 python train.py --epochs 3"}) {
    EXPECT_TRUE(twoHours.rows.count(row)) << row;
  }
  // The kernel is never listed, so no row stands for it.
  EXPECT_FALSE(twoHours.rows.count("kernel_task"));
  EXPECT_FALSE(twoHours.rows.count(""));
  m.advance(3600);
  // A reused pid: two processes, told apart by their start.
  std::set<std::uint64_t> starts;
  for (const auto& p : m.mac->truth().processes) {
    if (p.pid == 31337) starts.insert(p.startTicks);
  }
  EXPECT_EQ(starts.size(), 2u);
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
  const TruthSnapshot after = m.mac->truth();
  ASSERT_EQ(after.seconds, 600);
  EXPECT_NEAR(joules, after.systemJoules - before.systemJoules, joules * 1e-6);
}

TEST(MachineTest, SleepStopsProcessesAndTheTickCounter) {
  Machine m(quietScenario("", R"(
    "processes": [{"id": "app", "path": "/Applications/A.app/Contents/MacOS/A", "cpu": 2},
                  {"id": "late", "path": "/usr/bin/late", "start": 800}],
    "events": [{"at": 100, "type": "sleep", "duration": 600}])"));
  auto sleeps = m.mac->sleeps();
  ASSERT_EQ(sleeps.size(), 1u);
  EXPECT_EQ(sleeps[0].start, m.mac->startDate() + 100);
  EXPECT_EQ(sleeps[0].seconds(), 600);
  const std::uint64_t ticks0 = m.clock.monotonicTicks();
  const sys::Pid app = m.pidOf("/Applications/A.app/Contents/MacOS/A");

  m.advance(200);
  auto asleep = m.mac->processes().rusage(app);
  const TruthSnapshot early = m.mac->truth();
  EXPECT_NEAR(*smcFloat(m.mac->smc(), "PSTR"), 0.11, 1e-6);
  m.advance(450);
  EXPECT_EQ(m.mac->processes().rusage(app)->energyNJ, asleep->energyNJ);
  const TruthInterval nap = interval(early, m.mac->truth());
  EXPECT_NEAR(nap.systemJoules, 0.11 * 450, 1e-6);
  EXPECT_NEAR(nap.batteryOutJoules, 0.11 * 450, 1e-6);

  m.advance(200);  // awake again at 850
  EXPECT_GT(m.mac->processes().rusage(app)->energyNJ, asleep->energyNJ);
  // The late process started at 800 s, 200 s of awake time after the start.
  auto late = m.mac->processes().rusage(m.pidOf("/usr/bin/late"));
  ASSERT_TRUE(late);
  EXPECT_EQ(late->procStartAbstime, ticks0 + m.clock.timebase().secondsToTicks(200));
}

TEST(MachineTest, ChargerFeedsTheSystemAndChargesTheBattery) {
  Machine m(quietScenario(R"("battery": {"percent": 50})", R"(
    "processes": [{"path": "/bin/work", "cpu": 8}],
    "events": [{"at": 60, "type": "plug", "name": "96W USB-C Power Adapter", "watts": 96},
               {"at": 1200, "type": "unplug"}])"));
  auto battery = [&] { return *m.mac->registry().properties(1); };
  m.advance(30);
  EXPECT_EQ(*smcFloat(m.mac->smc(), "PDTR"), 0.0f);
  EXPECT_LT(battery()["Amperage"].get<int>(), 0);
  EXPECT_FALSE(battery().contains("AdapterDetails"));
  EXPECT_EQ(battery()["ExternalConnected"], false);

  m.advance(40);  // 10 s after plugging in
  auto b = battery();
  EXPECT_EQ(b["ExternalConnected"], true);
  EXPECT_EQ(b["IsCharging"], true);
  EXPECT_EQ(b["AvgTimeToFull"], 65535);  // still estimating
  EXPECT_EQ(b["AdapterDetails"]["Name"], "96W USB-C Power Adapter");
  EXPECT_EQ(b["AdapterDetails"]["Watts"], 96);
  EXPECT_GT(b["Amperage"].get<int>(), 0);
  const float pstr = *smcFloat(m.mac->smc(), "PSTR"), pdtr = *smcFloat(m.mac->smc(), "PDTR");
  EXPECT_GT(pdtr, pstr);
  EXPECT_LE(pdtr, 96.0f + 1e-3f);
  // The battery gains what comes in beyond the system's own use.
  EXPECT_NEAR(m.mac->truth().batteryWatts, pdtr - pstr, 1e-3);

  m.advance(120);
  b = battery();
  EXPECT_GT(b["AvgTimeToFull"].get<int>(), 0);
  EXPECT_LT(b["AvgTimeToFull"].get<int>(), 300);
  EXPECT_GT(m.mac->truth().part(Part::chargingLoss), 0);
  EXPECT_GT(m.mac->truth().batteryPercent, 50);

  m.advance(1100);  // unplugged since 1200 s
  EXPECT_FALSE(battery().contains("AdapterDetails"));
  EXPECT_EQ(*smcFloat(m.mac->smc(), "PDTR"), 0.0f);
  EXPECT_EQ(m.mac->truth().batteryWatts, -m.mac->truth().systemWatts);
  EXPECT_FALSE(std::isinf(m.mac->trueMinutesToEmpty()));
}

TEST(MachineTest, AFullBatteryHoldsOnTheCharger) {
  Machine m(quietScenario(
      R"("battery": {"percent": 99.5}, "charger": {"name": "67W USB-C Power Adapter", "watts": 67})"));
  m.advance(3600);
  auto b = *m.mac->registry().properties(1);
  EXPECT_EQ(b["FullyCharged"], true);
  EXPECT_EQ(b["IsCharging"], false);
  EXPECT_EQ(b["CurrentCapacity"], 100);
  EXPECT_EQ(b["Amperage"], 0);
  EXPECT_EQ(*smcFloat(m.mac->smc(), "PDTR"), *smcFloat(m.mac->smc(), "PSTR"));
  EXPECT_NEAR(m.mac->truth().batteryPercent, 100, 1e-9);
  EXPECT_TRUE(std::isinf(m.mac->trueMinutesToEmpty()));
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
  EXPECT_EQ(*smcFloat(m.mac->smc(), "PSTR"), 0.0f);
  auto frozen = m.mac->processes().rusage(hog)->energyNJ;
  m.advance(200);
  EXPECT_EQ(m.mac->processes().rusage(hog)->energyNJ, frozen);
  EXPECT_EQ(m.mac->truth().systemJoules, flat.systemJoules);

  // Charging brings it back at a few percent.
  m.advance(1800);
  const TruthSnapshot back = m.mac->truth();
  EXPECT_GT(back.systemWatts, 0);
  EXPECT_GT(m.mac->processes().rusage(hog)->energyNJ, frozen);
  EXPECT_NEAR(back.chargerJoules + back.batteryOutJoules, back.systemJoules + back.batteryInJoules,
              1e-6 * back.systemJoules);
}

TEST(MachineTest, KilledProcessesEndAndKeepTheirEnergy) {
  Machine m(quietScenario("", R"("processes": [
      {"id": "app", "path": "/Applications/A.app/Contents/MacOS/A", "cpu": 1, "fluctuation": 0},
      {"id": "daemon", "path": "/usr/sbin/d", "root": true, "cpu": 1}])"));
  auto& p = m.mac->processes();
  const sys::Pid app = m.pidOf("/Applications/A.app/Contents/MacOS/A");
  const sys::Pid daemon = m.pidOf("/usr/sbin/d");
  m.advance(10);
  EXPECT_TRUE(p.kill(app, 0));   // only a question
  EXPECT_TRUE(p.kill(app, 17));  // a signal it ignores
  EXPECT_TRUE(p.rusage(app));
  EXPECT_FALSE(p.kill(daemon, 15));  // not ours
  EXPECT_FALSE(p.kill(1, 15));
  EXPECT_FALSE(p.kill(99999, 15));
  EXPECT_TRUE(p.kill(app, 15));
  EXPECT_FALSE(p.rusage(app));
  EXPECT_FALSE(p.kill(app, 15));
  const TruthSnapshot killed = m.mac->truth();
  const double energy = m.truthOf(killed, "/Applications/A.app/Contents/MacOS/A")->cpuJoules;
  EXPECT_NEAR(energy, 10, 1e-9);
  m.advance(10);
  const TruthSnapshot later = m.mac->truth();
  const auto* gone = m.truthOf(later, "/Applications/A.app/Contents/MacOS/A");
  EXPECT_FALSE(gone->running);
  EXPECT_EQ(gone->cpuJoules, energy);
}

TEST(MachineTest, AReusedPidIsANewProcess) {
  Machine m(quietScenario("", R"("processes": [
      {"id": "a", "pid": 4000, "path": "/usr/bin/first", "start": 10, "end": 60, "cpu": 1},
      {"id": "b", "pid": 4000, "path": "/usr/bin/second", "start": 120, "cpu": 1, "fluctuation": 0}])"));
  auto& p = m.mac->processes();
  m.advance(30);
  auto first = p.rusage(4000);
  ASSERT_TRUE(first);
  EXPECT_EQ(p.executablePath(4000), "/usr/bin/first");
  m.advance(60);
  EXPECT_FALSE(p.rusage(4000));
  m.advance(60);
  auto second = p.rusage(4000);
  ASSERT_TRUE(second);
  EXPECT_GT(second->procStartAbstime, first->procStartAbstime);
  EXPECT_NEAR(second->energyNJ / 1e9, 30, 1e-6);  // counts from its own start
  EXPECT_EQ(p.executablePath(4000), "/usr/bin/second");
  int withPid = 0;
  for (const auto& t : m.mac->truth().processes) withPid += t.pid == 4000;
  EXPECT_EQ(withPid, 2);
}

TEST(MachineTest, ProcessesRunningBeforeTheStartHaveHistory) {
  Machine m(quietScenario(
      "", R"("processes": [{"path": "/Applications/A.app/Contents/MacOS/A", "cpu": 1}])"));
  const sys::Pid app = m.pidOf("/Applications/A.app/Contents/MacOS/A");
  auto r = m.mac->processes().rusage(app);
  ASSERT_TRUE(r);
  // Started within the clock's hour of uptime, so its counter already shows energy…
  EXPECT_LT(r->procStartAbstime, m.clock.monotonicTicks());
  EXPECT_GT(r->procStartAbstime, 0u);
  EXPECT_GT(r->energyNJ, 0u);
  // …while the truth counts from the scenario's start.
  const TruthSnapshot t = m.mac->truth();
  EXPECT_EQ(m.truthOf(t, "/Applications/A.app/Contents/MacOS/A")->cpuJoules, 0);
  auto info = m.mac->processes().bsdInfo(app);
  EXPECT_LT(info->startSeconds, m.mac->startDate().secondsSince1970);
}

TEST(MachineTest, TrueTimeLeftIsTheEnergyLeftAtThePresentPower) {
  Machine m(quietScenario(R"("battery": {"percent": 40})",
                          R"("processes": [{"path": "/bin/w", "cpu": 5, "fluctuation": 0}])"));
  m.advance(7);
  auto t = m.mac->truth();
  EXPECT_NEAR(m.mac->trueMinutesToEmpty(), t.batteryJoules / t.systemWatts / 60, 1e-9);
  EXPECT_EQ(m.mac->trueSystemWatts(), t.systemWatts);
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
  p.parent = "nobody";
  p.responsible = "nobody";
  p.load.cpu = 2;
  p.load.gpu = -5;
  p.load.fluctuation = 7;  // would make some slots draw negative power
  s.processes.push_back(p);
  Event late;  // out of order, and two sleeps that overlap
  late.at = 50;
  late.type = EventType::sleep;
  late.value = 30;
  Event early = late;
  early.at = 40;
  s.events = {late, early};
  Machine m(s);
  const sys::Pid odd = m.pidOf("/bin/odd");
  ASSERT_GT(odd, 1);
  EXPECT_LT(odd, 100000);
  EXPECT_EQ(m.mac->processes().bsdInfo(odd)->parentPid, 1);
  EXPECT_EQ(m.mac->processes().responsiblePid(odd), odd);
  ASSERT_EQ(m.mac->sleeps().size(), 1u);
  EXPECT_EQ(m.mac->sleeps()[0].seconds(), 40);  // 40…70 and 50…80 merge
  std::uint64_t last = 0;
  for (int i = 0; i < 60; ++i) {
    m.advance(2);
    auto r = m.mac->processes().rusage(odd);
    ASSERT_GE(r->energyNJ, last);
    last = r->energyNJ;
  }
  const TruthSnapshot t = m.mac->truth();
  EXPECT_NEAR(t.batteryPercent, 100, 1);
  EXPECT_GE(t.part(Part::gpu), 0);
  EXPECT_NEAR(t.systemJoules, t.partsJoules(), 1e-6 * t.systemJoules);
}

TEST(MachineTest, TheMonitorCannotKillItself) {
  Machine m(quietScenario());
  auto& p = m.mac->processes();
  EXPECT_FALSE(p.kill(p.ownPid(), 15));
  EXPECT_TRUE(p.rusage(p.ownPid()));
}

}  // namespace
}  // namespace ebbwise::sim
