#include <gtest/gtest.h>

#include <filesystem>

#include "linux/fixture_tree.h"
#include "linux/power_supply_registry.h"
#include "linux/power_supply_smc.h"
#include "sensors/power/battery_reading.h"
#include "sensors/power/smc.h"
#include "sys/clock.h"

namespace ebbwise::linux_host {
namespace {

using test::fixturePath;
using test::FixtureTree;

std::optional<BatteryReading> readBattery(const std::string& sysRoot) {
  PowerSupplyRegistry registry(sysRoot);
  return BatteryReading::read(registry);
}

TEST(PowerSupplyRegistry, ReadsMachinesAsTheirBatteryEntry) {
  struct Case {
    const char* machine;
    double percent;
    double systemPercent;
    double watts;
    bool onAC;
    bool isCharging;
    std::optional<std::int64_t> chargeMAh;
    std::optional<std::int64_t> fullMAh;
    double voltage;
    std::optional<std::int64_t> minutesToEmpty;
    std::optional<std::int64_t> minutesToFull;
    std::optional<std::string> chargerName;
    std::optional<std::int64_t> chargerWatts;
  };
  const std::vector<Case> cases = {
      // An ARM laptop reporting charge, its current signed as the kernel says.
      {"sys/arm-laptop-charge", 3780.0 / 4380 * 100, 86, 12.63 * -1.15, false, false, 3780, 4380,
       12.63, 235, std::nullopt, std::nullopt, std::nullopt},
      // Its firmware reports the discharge current as positive.
      {"sys/positive-discharge", 50, 50, 11.89 * -1.53, false, false, 2050, 4100, 11.89,
       std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      // Energy in µWh becomes charge at the design voltage (11.52 V), which
      // keeps charge × voltage equal to the energy reported.
      {"sys/energy-laptop", 3075.0 / 4125 * 100, 74, 11.52 * -0.758, false, false, 3075, 4125,
       11.52, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {"sys/charging", 1680.0 / 3915 * 100, 43, 16.52 * 2.31, true, true, 1680, 3915, 16.52,
       std::nullopt, std::nullopt, "Power Adapter", std::nullopt},
      // Charging from a USB-C PD source offering 20 V at 3.25 A.
      {"sys/usb-c-source", 34500000.0 / 56600000 * 100, 61, 15.44 * 1.645, true, true, 2234, 3666,
       15.44, std::nullopt, 83, "65W USB-C Power Adapter", 65},
  };
  for (const Case& c : cases) {
    const auto reading = readBattery(fixturePath(c.machine));
    ASSERT_TRUE(reading) << c.machine;
    EXPECT_NEAR(reading->percent, c.percent, 0.05) << c.machine;
    EXPECT_EQ(reading->systemPercent, c.systemPercent) << c.machine;
    EXPECT_NEAR(reading->watts, c.watts, 1e-9) << c.machine;
    EXPECT_EQ(reading->onAC, c.onAC) << c.machine;
    EXPECT_EQ(reading->isCharging, c.isCharging) << c.machine;
    EXPECT_EQ(reading->chargeMAh, c.chargeMAh) << c.machine;
    EXPECT_EQ(reading->fullMAh, c.fullMAh) << c.machine;
    EXPECT_DOUBLE_EQ(reading->voltage, c.voltage) << c.machine;
    EXPECT_EQ(reading->systemMinutesToEmpty, c.minutesToEmpty) << c.machine;
    EXPECT_EQ(reading->systemMinutesToFull, c.minutesToFull) << c.machine;
    EXPECT_EQ(reading->chargerName, c.chargerName) << c.machine;
    EXPECT_EQ(reading->chargerWatts, c.chargerWatts) << c.machine;
    EXPECT_EQ(reading->chargerRatedWatts, c.chargerWatts) << c.machine;
  }
  const auto arm = readBattery(fixturePath("sys/arm-laptop-charge"));
  EXPECT_EQ(arm->temperatureC, 30.1);
  PowerSupplyRegistry energy(fixturePath("sys/energy-laptop"));
  const auto properties = energy.properties(PowerSupplyRegistry::kBattery);
  EXPECT_EQ(sys::asInteger(sys::member(*properties, "DesignCapacity")), 4384);  // 50.5 Wh
  EXPECT_EQ(sys::asInteger(sys::member(*properties, "CycleCount")), 321);
  EXPECT_EQ(sys::asInteger(sys::member(*properties, "AppleRawBatteryVoltage")), 12100);
}

TEST(PowerSupplyRegistry, MachinesWithoutABatteryOfTheirOwnHaveNone) {
  // A desktop whose only battery is its mouse's.
  EXPECT_FALSE(readBattery(fixturePath("sys/desktop")));
  EXPECT_FALSE(readBattery("/nonexistent"));
  FixtureTree removed("sys/charging");
  removed.write("class/power_supply/BAT1/present", "0\n");
  EXPECT_FALSE(readBattery(removed.root()));
}

TEST(PowerSupplyRegistry, ABatteryThatGoesAwayTakesItsEntry) {
  FixtureTree machine("sys/energy-laptop");
  PowerSupplyRegistry registry(machine.root());
  ASSERT_TRUE(BatteryReading::read(registry));
  std::filesystem::remove_all(machine.path("class/power_supply/BAT0"));
  EXPECT_FALSE(BatteryReading::read(registry));
  EXPECT_FALSE(registry.properties(PowerSupplyRegistry::kBattery));
  EXPECT_FALSE(registry.property(PowerSupplyRegistry::kBattery, "Voltage"));
}

TEST(PowerSupplyRegistry, GarbledValuesReadAsAbsent) {
  struct Case {
    const char* file;
    const char* text;
    std::optional<std::int64_t> chargeMAh;
    double systemPercent;
    double watts;
  };
  const double normalWatts = 12.63 * -1.15;
  const std::vector<Case> cases = {
      {"charge_now", "garbage\n", std::nullopt, 86, normalWatts},
      {"charge_now", "", std::nullopt, 86, normalWatts},  // truncated to nothing
      {"charge_now", "99999999999999999999999\n", std::nullopt, 86, normalWatts},
      {"charge_now", "-5\n", std::nullopt, 86, normalWatts},
      {"current_now", "-1150000 junk\n", 3780, 86, 0},
      {"current_now", "-500000000\n", 3780, 86, 0},  // 500 A: no battery does that
      // Without the firmware's percentage, the charges give it.
      {"capacity", "250\n", 3780, 86, normalWatts},
      {"status", "", 3780, 86, normalWatts},  // no status: the current's own sign
  };
  for (const Case& c : cases) {
    FixtureTree machine("sys/arm-laptop-charge");
    machine.write(std::string("class/power_supply/macsmc-battery/") + c.file, c.text);
    const auto reading = readBattery(machine.root());
    ASSERT_TRUE(reading) << c.file << " = " << c.text;
    EXPECT_EQ(reading->chargeMAh, c.chargeMAh) << c.file << " = " << c.text;
    EXPECT_EQ(reading->systemPercent, c.systemPercent) << c.file << " = " << c.text;
    EXPECT_NEAR(reading->watts, c.watts, 1e-9) << c.file << " = " << c.text;
  }
}

// Whole-system power through the SMC's record, as the system power meter reads it.
class SupplySMC {
 public:
  SupplySMC(const std::string& sysRoot, RaplCounters* counters)
      : client_(sysRoot, counters, clock_), smc_(SMC::open(client_)) {}
  std::optional<double> read(const char* key) { return smc_->readFloat(key); }
  void advance(double seconds) { clock_.advance(seconds); }

 private:
  sys::ManualClock clock_;
  PowerSupplySMC client_;
  std::unique_ptr<SMC> smc_;
};

TEST(PowerSupplySMC, SystemPowerIsTheBatterysWhileItAloneFeedsTheMachine) {
  SupplySMC energy(fixturePath("sys/energy-laptop"), nullptr);
  EXPECT_NEAR(*energy.read("PSTR"), 8.736, 1e-6);
  EXPECT_EQ(energy.read("PDTR"), 0.0);
  EXPECT_FALSE(energy.read("TB0T")) << "a key this controller does not have";

  SupplySMC positive(fixturePath("sys/positive-discharge"), nullptr);
  EXPECT_NEAR(*positive.read("PSTR"), 11.89 * 1.53, 1e-5);

  // On the charger, without a platform counter, nothing tells the machine's power.
  SupplySMC charging(fixturePath("sys/charging"), nullptr);
  EXPECT_FALSE(charging.read("PSTR"));
  EXPECT_FALSE(charging.read("PDTR"));
}

TEST(PowerSupplySMC, OnExternalPowerThePlatformCounterGivesSystemAndChargerPower) {
  FixtureTree machine("sys/usb-c-source");
  std::filesystem::copy(fixturePath("sys/rapl/class/powercap"), machine.path("class/powercap"),
                        std::filesystem::copy_options::recursive);
  RaplCounters counters(machine.root(), Credentials::own(), Notice{});
  SupplySMC smc(machine.root(), &counters);
  // 18 J over 2 s, with 25.4 W going into the battery.
  machine.write("class/powercap/intel-rapl:1/energy_uj", "262008000000\n");
  smc.advance(2);
  EXPECT_NEAR(*smc.read("PSTR"), 9.0, 1e-5);
  EXPECT_NEAR(*smc.read("PDTR"), 9.0 + 25.4, 1e-4);
  // Across the counter's wrap.
  machine.write("class/powercap/intel-rapl:1/energy_uj", "136671150\n");
  smc.advance(2);
  EXPECT_NEAR(*smc.read("PSTR"), 136.671150 / 2 + (262143328850.0 - 262008000000.0) / 2e6, 1e-3);
}

}  // namespace
}  // namespace ebbwise::linux_host
