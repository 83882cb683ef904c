#include "sensors/power/battery_reading.h"

#include <gtest/gtest.h>

#include <limits>

#include "sys/in_memory_registry.h"

// Expected readings name only the fields that differ from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ebbwise {
namespace {

using sys::Value;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Each case states only the fields that differ from a reading of an empty
// dictionary (whose shown percentage is 0); the whole reading is compared, so
// a stray field fails too.
TEST(BatteryReadingTest, ReadsEntriesWhole) {
  Value nonFinite = Value::object();
  for (const char* key : {"CurrentCapacity", "MaxCapacity", "Voltage", "Amperage",
                          "AppleRawCurrentCapacity", "AppleRawMaxCapacity", "NominalChargeCapacity",
                          "AvgTimeToEmpty", "AvgTimeToFull", "Temperature"}) {
    const double bad[] = {inf, nan, -inf};
    nonFinite[key] = bad[nonFinite.size() % 3];
  }
  nonFinite["AdapterDetails"] = {{"Watts", inf}};
  const std::tuple<const char*, Value, BatteryReading> cases[] = {
      {"a typical entry",
       Value::parse(R"({
           "CurrentCapacity": 52, "MaxCapacity": 100, "AppleRawCurrentCapacity": 2500,
           "AppleRawMaxCapacity": 5000, "NominalChargeCapacity": 5200, "Voltage": 12000,
           "Amperage": -1500, "ExternalConnected": false, "IsCharging": false,
           "AvgTimeToEmpty": 240, "AvgTimeToFull": 65535, "Temperature": 3012,
           "AdapterDetails": {"Name": "  96W USB-C Power Adapter ", "Watts": 94}})"),
       {.percent = 50,
        .remainingWh = 30,
        .watts = -18,
        .systemMinutesToEmpty = 240,
        .fullWh = 60,
        .chargeMAh = 2500,
        .fullMAh = 5000,
        .systemPercent = 52,
        .voltage = 12,
        .capacityEstimates = {5000, 5200},
        .chargerRatedWatts = 96,
        .chargerWatts = 94,
        .temperatureC = 30.12,
        .chargerName = "96W USB-C Power Adapter"}},
      // The registry gives a draining battery's current as an unsigned
      // 64-bit count: 2^64 − 500 is −500 mA.
      {"draining, as the registry gives it",
       Value::parse(R"({"Voltage": 12000, "Amperage": 18446744073709551116})"),
       {.watts = -6, .voltage = 12}},
      {"charging",
       Value::parse(R"({"Voltage": 12000, "Amperage": 2000})"),
       {.watts = 24, .voltage = 12}},
      {"raw above max",
       Value::parse(R"({"AppleRawCurrentCapacity": 5100, "AppleRawMaxCapacity": 5000})"),
       {.percent = 100, .chargeMAh = 5100, .fullMAh = 5000, .capacityEstimates = {5000}}},
      {"no raw current",
       Value::parse(R"({"AppleRawMaxCapacity": 5000, "CurrentCapacity": 80})"),
       {.percent = 80, .fullMAh = 5000, .systemPercent = 80, .capacityEstimates = {5000}}},
      {"zero max capacity", Value::parse(R"({"CurrentCapacity": 80, "MaxCapacity": 0})"), {}},
      {"minutes at the edges",
       Value::parse(R"({"AvgTimeToEmpty": 65534, "AvgTimeToFull": 0})"),
       {.systemMinutesToEmpty = 65534}},
      {"blank charger name", Value::parse(R"({"AdapterDetails": {"Name": " \t  "}})"), {}},
      {"not a dictionary", Value::parse("[1, 2, 3]"), {}},
      {"wrong types",
       Value::parse(R"({
           "CurrentCapacity": "52", "MaxCapacity": true, "Voltage": [12000], "Amperage": "-1500",
           "AppleRawCurrentCapacity": {"v": 1}, "AppleRawMaxCapacity": null,
           "ExternalConnected": 1, "IsCharging": "Yes", "AvgTimeToEmpty": "240",
           "Temperature": false, "PowerOutDetails": "none",
           "AdapterDetails": {"Name": 96, "Watts": "96"}})"),
       {}},
      {"adapter details not a dictionary",
       Value::parse(R"({"AdapterDetails": [{"Name": "96W", "Watts": 96}]})"),
       {}},
      {"non-finite numbers", nonFinite, {}},
      // The ratio stands; the counts and the overflowing products do not.
      {"absurd magnitudes",
       Value::parse(R"({
           "AppleRawCurrentCapacity": 1e300, "AppleRawMaxCapacity": 2e300, "Voltage": 1e300,
           "Amperage": 9223372036854775807, "AvgTimeToEmpty": 99999999999999999999,
           "CurrentCapacity": -1e300, "MaxCapacity": 1e-300,
           "AdapterDetails": {"Watts": 18446744073709551615}})"),
       {.percent = 50, .voltage = 1e297, .capacityEstimates = {2e300}}},
  };
  for (auto [name, properties, expected] : cases) {
    if (!expected.systemPercent) expected.systemPercent = 0;
    EXPECT_TRUE(BatteryReading::fromProperties(properties) == expected) << name;
  }
}

TEST(BatteryReadingTest, PowerOutDetails) {
  const std::pair<const char*, std::vector<USBPowerOut>> cases[] = {
      {R"([{"PortIndex": 1, "FilteredPower": 4500}, {"PortIndex": 2, "Watts": 30}])", {{1, 4.5}}},
      {R"([{"PortIndex": 3, "Watts": 50}])", {{3, 0.05}}},
      // An unreadable filtered figure drops the entry rather than using "Watts".
      {R"([{"PortIndex": 1, "FilteredPower": "4500", "Watts": 4500}])", {}},
      {R"([{"PortIndex": "1", "Watts": 4500}, {"Watts": 4500},
           {"PortIndex": 1e30, "Watts": 4500}, {"PortIndex": 2.9, "Watts": 7000}])",
       {{2, 7.0}}},
      {R"([{"PortIndex": 1, "Watts": 4500}, 7])", {}},  // one stray element spoils the list
      {R"({"PortIndex": 1, "Watts": 4500})", {}},
  };
  for (const auto& [json, expected] : cases) {
    Value details = Value::parse(json);
    EXPECT_EQ(USBPowerOut::parse(&details), expected) << json;
  }
}

TEST(BatteryReadingTest, RatedWattsFromChargerNames) {
  const std::pair<std::string, std::optional<std::int64_t>> cases[] = {
      {"96W USB-C Power Adapter", 96},
      {"65\u00A0W charger", 65},  // a no-break space is one white-space character
      {"USB-C 2 Port 35W", 35},   // "2" is not followed by the unit
      {"W096W", 96},
      {"9223372036854775807W", std::numeric_limits<std::int64_t>::max()},
      {"9223372036854775808W", std::nullopt},
      {"96  W", std::nullopt},
  };
  for (const auto& [name, watts] : cases) {
    EXPECT_EQ(BatteryReading::ratedWatts(name), watts) << name;
  }
}

TEST(BatteryReadingTest, UseFullCapacity) {
  const BatteryReading base{
      .percent = 85, .remainingWh = 37.5, .chargeMAh = 3000, .fullMAh = 3500, .voltage = 12.5};
  BatteryReading r = base;
  r.useFullCapacity(4000);
  EXPECT_EQ(r.fullMAh, 4000);
  EXPECT_DOUBLE_EQ(r.fullWh, 50);
  EXPECT_DOUBLE_EQ(r.percent, 75);
  r = base;
  r.useFullCapacity(2999.5);  // halves round away from zero; the percentage is capped
  EXPECT_EQ(r.fullMAh, 3000);
  EXPECT_DOUBLE_EQ(r.percent, 100);

  // Unusable estimates, or no charge to relate them to, change nothing.
  for (double mAh : {0.0, -4000.0, nan, inf, 9223372036854775808.0}) {
    r = base;
    r.useFullCapacity(mAh);
    EXPECT_TRUE(r == base) << mAh;
  }
  BatteryReading noCharge = base;
  noCharge.chargeMAh.reset();
  r = noCharge;
  r.useFullCapacity(4000);
  EXPECT_TRUE(r == noCharge);
}

TEST(BatteryReadingTest, ReadsTheBatteryEntryFromTheRegistry) {
  Value battery = {{"CurrentCapacity", 70}, {"Voltage", 11800}, {"Amperage", -900}};
  sys::InMemoryRegistry registry;
  EXPECT_FALSE(BatteryReading::read(registry));
  registry.add("IOPMPowerSource", {{"CurrentCapacity", 10}});
  auto entry = registry.add("AppleSmartBattery", battery);
  EXPECT_EQ(BatteryReading::read(registry), BatteryReading::fromProperties(battery));
  registry.setProperties(entry, Value::array({battery}));
  EXPECT_FALSE(BatteryReading::read(registry));
}

TEST(BatteryReadingTest, AnEntryFlaggedNotInstalledIsNoBattery) {
  // What a desktop publishes.
  sys::InMemoryRegistry registry;
  auto entry = registry.add("AppleSmartBattery", {{"BatteryInstalled", false},
                                                  {"CurrentCapacity", 0},
                                                  {"MaxCapacity", 0},
                                                  {"ExternalConnected", true}});
  EXPECT_FALSE(BatteryReading::read(registry));

  // Only a boolean false counts; anything else reads as before.
  for (Value flag : {Value(true), Value(0), Value("No")}) {
    registry.setProperties(entry, {{"BatteryInstalled", flag}, {"CurrentCapacity", 64}});
    auto r = BatteryReading::read(registry);
    EXPECT_EQ(r ? r->systemPercent : std::nullopt, 64) << flag;
  }
}

}  // namespace
}  // namespace ebbwise
