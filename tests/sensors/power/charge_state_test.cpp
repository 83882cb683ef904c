// Charge flow, the charging latch, the capacity average and its stored form,
// the live charge, smart charging and heat warnings.

#include <gtest/gtest.h>

#include <limits>

#include "base/utf8.h"
#include "sensors/power/capacity_average.h"
#include "sensors/power/charge_flow.h"
#include "sensors/power/heat_warning.h"
#include "sensors/power/live_charge.h"
#include "sensors/power/smart_charging.h"

namespace ebbwise {
namespace {

using sys::Value;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(ChargeFlowTest, StateAndTimeToFullUseTheHoldingBand) {
  using State = ChargeFlow::State;
  const std::pair<double, State> states[] = {{0.3, State::holding},
                                             {-0.3, State::holding},
                                             {0.31, State::charging},
                                             {-0.31, State::draining},
                                             {nan, State::holding}};
  for (const auto& [net, state] : states) {
    EXPECT_EQ((ChargeFlow{net, 0}.state()), state) << net;
  }
  EXPECT_DOUBLE_EQ(*(ChargeFlow{30, 10}.minutesToFull(40, 50)), 30);
  EXPECT_EQ((ChargeFlow{0.3, 0}.minutesToFull(40, 50)), std::nullopt) << "hardly charging";
  EXPECT_EQ((ChargeFlow{30, 10}.minutesToFull(50, 50)), std::nullopt) << "full";
  EXPECT_EQ((ChargeFlow{30, 10}.minutesToFull(nan, 50)), std::nullopt);
}

TEST(ChargeFlowTest, ChargerLabelsAndNotes) {
  using Name = std::optional<std::string>;
  const std::tuple<Name, std::optional<std::int64_t>, Name, std::string> labels[] = {
      {"96W USB-C Power Adapter", 96, "Apple", "96W USB-C Power Adapter"},
      {std::nullopt, 96, std::nullopt, "96 W USB-C charger"},
      {std::nullopt, 0, std::nullopt, "USB-C charger"},
      {std::nullopt, std::nullopt, std::nullopt, "Charger"},
      {std::nullopt, std::nullopt, "Anker", "Anker USB-C charger"},
      {std::nullopt, 65, "Anker", "Anker 65 W USB-C charger"},
  };
  for (const auto& [name, watts, brand, label] : labels) {
    EXPECT_EQ(ChargeFlow::chargerLabel(name, watts, brand), label);
  }
  EXPECT_EQ(ChargeFlow::chargerNote(96, 60),
            "Your 96 W charger is giving 60 W. Another cable, or nothing else plugged into the "
            "charger, may charge faster.");
  EXPECT_EQ(ChargeFlow::chargerNote(96, 70), std::nullopt);
  EXPECT_EQ(ChargeFlow::chargerNote(96, 0), std::nullopt);
  EXPECT_EQ(ChargeFlow::chargerNote(std::nullopt, 30), std::nullopt);
  EXPECT_EQ(ChargeFlow::chargerNote(std::numeric_limits<std::int64_t>::max(), 30).has_value(),
            true);
}

TEST(ChargingLatchTest, SwitchesOnlyOutsideTheBand) {
  ChargingLatch latch;
  const std::pair<double, bool> steps[] = {{0.3, false}, {0.6, true},  {0.3, true},
                                           {nan, true},  {0.1, false}, {0.3, false}};
  for (const auto& [watts, on] : steps) EXPECT_EQ(latch.update(watts), on) << watts;
}

TEST(CapacityAverageTest, FoldsNewEstimatesOnly) {
  CapacityAverage average;
  average.add({5000, 4900});
  EXPECT_EQ(average.mean, 4950);
  EXPECT_EQ(average.count, 2);
  const CapacityAverage before = average;
  average.add({5000, 4900});
  average.add({0, -1, nan});
  EXPECT_EQ(average, before) << "the same reading again, or nothing usable";
  average.add({0, 5000, -3, 4900, 5100});
  EXPECT_EQ(average.last, (std::vector<double>{5000, 4900, 5100}));

  // Past its memory the mean moves by 1/501 of the difference.
  CapacityAverage old{5000.0, 1000, {}};
  old.add({5501});
  EXPECT_DOUBLE_EQ(*old.mean, 5001);
  EXPECT_EQ(old.count, 1001);
  CapacityAverage full{5000.0, std::numeric_limits<std::int64_t>::max(), {}};
  full.add({5501});
  EXPECT_EQ(full.count, std::numeric_limits<std::int64_t>::max()) << "no overflow";
}

TEST(CapacityAverageTest, StoredFormRoundTripsAndRejectsDamage) {
  CapacityAverage average;
  EXPECT_EQ(average.toJSONText(), R"({"count":0,"last":[]})");
  EXPECT_EQ(CapacityAverage::fromJSONText(average.toJSONText()), average);
  average.add({5000, 4900});
  EXPECT_EQ(CapacityAverage::fromJSONText(average.toJSONText()), average);

  const char* damaged[] = {
      "",
      "[]",
      R"({"count": 2})",
      R"({"last": []})",
      R"({"count": -1, "last": []})",
      R"({"count": 1.5, "last": []})",
      R"({"count": 2, "last": ["5000"]})",
      R"({"count": 2, "last": [], "mean": "5000"})",
      R"({"count": 2, "last": [], "mean": 0})",
      R"({"count": 2, "last": [], "mean": -5})",
      R"({"count": 2, "last": [5000], "mean": 4950)",
  };
  for (const char* text : damaged) {
    EXPECT_EQ(CapacityAverage::fromJSONText(text), std::nullopt) << text;
  }
  EXPECT_EQ(CapacityAverage::fromJSONText(R"({"count": 3, "last": [1], "mean": null})"),
            (CapacityAverage{std::nullopt, 3, {1}}));
}

TEST(LiveChargeTest, FollowsNetPowerBetweenReportsAndSnapsBack) {
  LiveCharge live;
  EXPECT_EQ(live.update(std::nullopt, 10, 12, 5), std::nullopt);
  EXPECT_EQ(live.update(3000, 10, 12, 5), 3000) << "the first report";
  EXPECT_NEAR(*live.update(3000, 10, 12, 5), 3000 + 10 * 5 / 12.0 / 3.6, 1e-9);
  EXPECT_EQ(live.update(3002, -10, 12, 5), 3002) << "a new report snaps";
  for (double dt : {30.0, 0.0, -5.0}) EXPECT_EQ(live.update(3002, -10, 12, dt), 3002) << dt;
  EXPECT_EQ(live.update(3002, std::nullopt, 12, 5), 3002);
  EXPECT_EQ(live.update(3002, nan, 12, 5), 3002);
  EXPECT_EQ(live.update(3002, -10, 0, 5), 3002);

  // A report that never moves stops the estimate after a while.
  LiveCharge stuck;
  stuck.update(5000, -1, 12, 0);
  for (int i = 0; i < 1000; ++i) stuck.update(5000, -1, 12, 5);
  EXPECT_NEAR(*stuck.mAh, 5000 - LiveCharge::kMaxIntegrationSeconds / 12 / 3.6, 1e-9);

  LiveCharge empty;
  empty.update(1, -100, 3, 0);
  EXPECT_EQ(empty.update(1, -100, 3, 20), 0) << "never below nothing";
}

// Power sources answering from a fixed list of descriptions.
class ListedPowerSources final : public sys::PowerSources {
 public:
  std::optional<Value> sources;
  std::optional<sys::PowerSourcesBlob> copyInfo() override {
    if (!sources) return std::nullopt;
    return sys::PowerSourcesBlob{*sources};
  }
  std::optional<std::vector<sys::PowerSourceRef>> copyList(
      const sys::PowerSourcesBlob& b) override {
    if (!b.contents.is_array()) return std::nullopt;
    std::vector<sys::PowerSourceRef> refs;
    for (std::size_t i = 0; i < b.contents.size(); ++i) refs.push_back(i);
    return refs;
  }
  std::optional<Value> description(const sys::PowerSourcesBlob& b, sys::PowerSourceRef r) override {
    return b.contents.at(r);
  }
  std::unique_ptr<sys::NotificationSource> createRunLoopSource(sys::RunLoop&, sys::Task) override {
    return nullptr;
  }
};

TEST(SmartChargingTest, ReadsTheInternalBatteryFlags) {
  const std::pair<Value, SmartCharging> descriptions[] = {
      {{{"Optimized Battery Charging Engaged", 1}}, {true, false}},
      {{{"Optimized Battery Charging Engaged", 0}, {"Is Finishing Charge", true}}, {false, true}},
      {{{"Optimized Battery Charging Engaged", 0.5}, {"Is Finishing Charge", 2}}, {true, true}},
      {{{"Optimized Battery Charging Engaged", "1"}, {"Is Finishing Charge", nullptr}}, {}},
      {Value::array({1}), {}},
  };
  for (const auto& [description, expected] : descriptions) {
    EXPECT_EQ(SmartCharging::fromPowerSource(description), expected) << description;
  }

  ListedPowerSources sources;
  EXPECT_EQ(SmartCharging::read(sources), std::nullopt) << "no information";
  sources.sources =
      Value::array({{{"Type", "Accessory Source"}, {"Is Finishing Charge", true}},
                    "not a dictionary",
                    {{"Type", "InternalBattery"}, {"Optimized Battery Charging Engaged", 1}}});
  EXPECT_EQ(SmartCharging::read(sources), (SmartCharging{true, false}));
  sources.sources = Value::array({{{"Type", "UPS"}}});
  EXPECT_EQ(SmartCharging::read(sources), std::nullopt) << "no internal battery";

  EXPECT_EQ((SmartCharging{true, true}).message(), "Smart charging · holding at 80%");
  EXPECT_EQ((SmartCharging{false, true}).message(), "Finishing the charge slowly");
  EXPECT_EQ((SmartCharging{false, true}).detail(),
            "macOS finishes the last few percent slowly, to protect the battery.");
  EXPECT_EQ((SmartCharging{}).message(), std::nullopt);
  EXPECT_EQ((SmartCharging{}).detail(), std::nullopt);
}

TEST(HeatWarningTest, ThermalStateFirstThenTheBattery) {
  using HeatWarning::messages;
  const auto hot = messages(2, 41.6, true);
  ASSERT_EQ(hot.size(), 2u);
  EXPECT_EQ(hot[0].line, "Mac is hot and slowing down · try a hard surface");
  EXPECT_EQ(hot[1].line, "Battery at 42 °C · charging may slow");
  EXPECT_EQ(hot[1].detail,
            "Battery at 42 °C. macOS may charge more slowly while it's hot, to protect it.");
  const auto resting = messages(0, 40.5, false);
  ASSERT_EQ(resting.size(), 1u);
  EXPECT_EQ(resting[0].line, "Battery at 41 °C · heat wears it faster") << "halves round up";
  EXPECT_EQ(resting[0].detail, "Battery at 41 °C. Heat wears a battery faster.");
  EXPECT_TRUE(messages(1, 39.9, true).empty());
  EXPECT_TRUE(messages(0, nan, true).empty());
  const auto critical = messages(3, std::nullopt, false);
  ASSERT_EQ(critical.size(), 1u);
  EXPECT_EQ(critical[0].line, "Mac is very hot · running much slower");
  for (int state : {2, 3}) {
    for (const auto& m : messages(state, 99.4, state == 2)) {
      EXPECT_LE(Utf8::length(m.line), HeatWarning::maxLength) << m.line;
    }
  }
}

}  // namespace
}  // namespace ebbwise
