// The SMC request records and the chip's energy channels, byte by byte and
// unit by unit.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "machine_fixture.h"

namespace ebbwise::sim {
namespace {

using testing::chipCounters;
using testing::Machine;
using testing::quietScenario;
using testing::smcCall;

// A unit label without its padding, micro spelt "u".
std::string plainUnit(std::string unit) {
  for (const char* micro : {"\u00B5", "\u03BC"}) {
    if (auto at = unit.find(micro); at != std::string::npos) unit.replace(at, 2, "u");
  }
  std::erase(unit, ' ');
  return unit;
}

class SMCTest : public ::testing::Test {
 protected:
  Machine m{quietScenario("", R"("processes": [{"path": "/bin/w", "cpu": 3}])")};
  sys::SMCUserClient& smc = m.mac->smc();
  sys::SMCConnection c = *smc.open();
};

TEST_F(SMCTest, FloatKeysAreLittleEndianFloatsOfThePresentPower) {
  auto info = smcCall(smc, c, "PSTR", 9);
  ASSERT_EQ(info.kernelReturn, 0);
  EXPECT_EQ(info.result(), 0);
  EXPECT_EQ(info.word(28), 4u);
  EXPECT_EQ(info.word(32), sys::fourCharCode("flt "));
  auto pstr = smcCall(smc, c, "PSTR", 5, 4);
  ASSERT_EQ(pstr.result(), 0);
  EXPECT_EQ(pstr.floatValue(), static_cast<float>(m.mac->trueSystemWatts()));
  EXPECT_EQ(smcCall(smc, c, "PDTR", 5, 4).floatValue(), 0.0f);  // on battery
  for (std::size_t i = 52; i < 80; ++i) EXPECT_EQ(pstr.out[i], 0) << i;
}

TEST_F(SMCTest, UnknownKeysAndBadRequestsFail) {
  // Unknown key: the call succeeds, the record's result says no.
  auto unknown = smcCall(smc, c, "ZZZZ", 9);
  EXPECT_EQ(unknown.kernelReturn, 0);
  EXPECT_NE(unknown.result(), 0);
  EXPECT_NE(smcCall(smc, c, "ZZZZ", 5, 4).result(), 0);
  EXPECT_NE(smcCall(smc, c, "PSTR", 5, 2).result(), 0);  // wrong size
  EXPECT_NE(smcCall(smc, c, "PSTR", 6, 4).result(), 0);  // unknown command
  // Malformed calls fail in the kernel.
  std::array<std::uint8_t, 80> in{}, out{};
  std::array<std::uint8_t, 79> shortIn{};
  std::array<std::uint8_t, 96> longOut{};
  EXPECT_NE(smc.callStructMethod(c, 2, shortIn, out), 0);
  EXPECT_NE(smc.callStructMethod(c, 2, in, longOut), 0);
  EXPECT_NE(smc.callStructMethod(c, 3, in, out), 0);
  EXPECT_NE(smc.callStructMethod(c + 1000, 2, in, out), 0);
  smc.close(c);
  EXPECT_NE(smc.callStructMethod(c, 2, in, out), 0);
}

TEST(IOReportTest, ChannelNamesAndUnitsFollowTheChipGeneration) {
  struct Case {
    int chip;
    std::vector<std::string> present, absent;
  };
  const Case cases[] = {
      {1, {"ECPU", "PCPU", "ECPU0", "PCPU3"}, {"EACC_CPU", "PCPU4", "MCPU0_0"}},
      {2, {"EACC_CPU", "PACC0_CPU", "EACC_CPU0", "PACC0_CPU3"}, {"ECPU", "PACC0_CPU4", "PACC_0"}},
      {3, {"EACC_CPU", "PACC0_CPU5"}, {"MCPU0_0"}},
      {4, {"EACC_CPU", "PACC0_CPU5", "MCPU0_0", "PACC_0"}, {}},
  };
  std::set<std::string> spellings;
  for (const auto& c : cases) {
    Machine m(quietScenario("\"chip\": " + std::to_string(c.chip),
                            R"("processes": [{"path": "/bin/w", "cpu": 4}])"));
    auto& r = m.mac->ioReport();
    m.advance(60);
    auto channels = r.copyChannelsInGroup("Energy Model", std::nullopt);
    ASSERT_TRUE(channels);
    EXPECT_FALSE(r.copyChannelsInGroup("Energy Model", std::string_view("CPU Stats")));
    EXPECT_FALSE(r.copyChannelsInGroup("CPU Stats", std::nullopt));
    std::map<std::string, std::string> units;
    for (const auto& e : (*channels)["IOReportChannels"])
      units[*r.channelName(e)] = *r.unitLabel(e);
    for (const auto& [name, unit] : units) {
      spellings.insert(unit);
      const char* expected = name == "GPU Energy"                            ? "nJ"
                             : name == "apciec2 Energy" || name == "DISP0_0" ? "uJ"
                                                                             : "mJ";
      EXPECT_EQ(plainUnit(unit), expected) << c.chip << " " << name;
    }
    for (const auto& name : c.present) EXPECT_TRUE(units.count(name)) << c.chip << " " << name;
    for (const auto& name : c.absent) EXPECT_FALSE(units.count(name)) << c.chip << " " << name;
    // The processor's clusters add up to its total within the rounding of the
    // total's own counter.
    auto counters = chipCounters(r);
    std::int64_t parts = 0;
    for (const char* name : {"ECPU", "PCPU", "EACC_CPU", "PACC0_CPU", "PACC_0", "MCPU0_0"})
      parts += counters.count(name) ? counters.at(name) : 0;
    EXPECT_NEAR(parts, counters.at("CPU Energy"), 12) << c.chip;
    EXPECT_GT(counters.at("CPU Energy"), 60 * 4 * 1000 * 0.8);
  }
  // Padded labels, micro with the micro sign and with the Greek mu.
  for (const char* spelling : {"mJ ", " mJ", "\u00B5J", "\u03BCJ"})
    EXPECT_TRUE(spellings.contains(spelling)) << '"' << spelling << '"';
}

// Samples fail as often as the scenario says; the processor's total equals
// the sum of its clusters only where the scenario keeps it as that sum.
TEST(IOReportTest, SamplesFailNowAndThenAndTheCPUTotalKeepsItsOwnCount) {
  for (bool plain : {true, false}) {
    Machine m(quietScenario(plain ? R"("platform": {"failedSamples": 0.2, "cpuTotal": "sum"})"
                                  : R"("platform": {"failedSamples": 0, "cpuTotal": "own"})",
                            R"("processes": [{"path": "/bin/w", "cpu": 3.3, "gpu": 1}])"));
    auto& r = m.mac->ioReport();
    sys::Value subscribed;
    auto sub =
        r.createSubscription(*r.copyChannelsInGroup("Energy Model", std::nullopt), subscribed);
    ASSERT_TRUE(sub);
    int failed = 0, differing = 0;
    for (int i = 0; i < 200; ++i) {
      m.advance(0.9);
      auto sample = r.createSamples(*sub, subscribed);
      if (!sample) {
        ++failed;
        continue;
      }
      std::map<std::string, std::int64_t> v;
      for (const auto& e : (*sample)["IOReportChannels"])
        v[*r.channelName(e)] = r.simpleIntegerValue(e);
      if (v["EACC_CPU"] + v["PACC0_CPU"] != v["CPU Energy"]) ++differing;
    }
    EXPECT_TRUE(plain ? failed > 20 && failed < 60 : failed == 0) << failed;
    EXPECT_EQ(differing == 0, plain) << differing;
  }
}

TEST(IOReportTest, SamplesDifferenceChannelByChannel) {
  Machine m(quietScenario(
      "", R"("processes": [{"path": "/bin/w", "cpu": 2, "gpu": 1, "fluctuation": 0}])"));
  auto& r = m.mac->ioReport();
  auto channels = r.copyChannelsInGroup("Energy Model", std::nullopt);
  sys::Value subscribed;
  auto sub = r.createSubscription(*channels, subscribed);
  ASSERT_TRUE(sub);
  auto first = r.createSamples(*sub, subscribed);
  const TruthSnapshot before = m.mac->truth();
  m.advance(10);
  auto second = r.createSamples(*sub, subscribed);
  const TruthInterval truth = interval(before, m.mac->truth());
  ASSERT_TRUE(first && second);
  auto delta = r.createSamplesDelta(*first, *second);
  ASSERT_TRUE(delta);
  std::map<std::string, std::int64_t> d;
  for (const auto& e : (*delta)["IOReportChannels"]) d[*r.channelName(e)] = r.simpleIntegerValue(e);
  EXPECT_NEAR(d["GPU Energy"] / 1e9, truth.part(Part::gpu), 1e-6);
  EXPECT_NEAR((d["GPU"] + d["GPU SRAM0_0"]) / 1e3, d["GPU Energy"] / 1e9, 0.002);
  EXPECT_NEAR(d["CPU Energy"] / 1e3, truth.part(Part::cpu), 0.02);

  // Samples that do not belong together cannot be differenced.
  sys::Value truncated = *second;
  truncated["IOReportChannels"].erase(0);
  EXPECT_FALSE(r.createSamplesDelta(*first, truncated));
  EXPECT_FALSE(r.createSamplesDelta(*first, sys::Value::array()));
  sys::Value huge = *second;
  huge["IOReportChannels"][0]["Value"] = std::numeric_limits<std::int64_t>::min();
  EXPECT_FALSE(r.createSamplesDelta(huge, *second));  // would overflow
  // Unknown subscriptions and malformed channel lists are refused.
  EXPECT_FALSE(r.createSamples(*sub + 99, subscribed));
  sys::Value none;
  EXPECT_FALSE(r.createSubscription(sys::Value{{"IOReportChannels", 3}}, none));
  EXPECT_EQ(r.simpleIntegerValue(sys::Value::object()), 0);
  EXPECT_FALSE(r.channelName(sys::Value(5)));
}

}  // namespace
}  // namespace ebbwise::sim
