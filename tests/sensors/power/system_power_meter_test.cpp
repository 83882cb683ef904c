#include "sensors/power/system_power_meter.h"

#include <gtest/gtest.h>

#include "sensors/power/smc.h"
#include "support/fake_smc.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise {
namespace {

using test::FakeSMC;

// The meter's timer runs on a virtual loop, but it reads the date from a clock
// of its own, so a test can make any gap between two samples.
class SystemPowerMeterTest : public ::testing::Test {
 protected:
  // A meter whose first sample, taken at once, reads 10 W and no charger.
  std::unique_ptr<SystemPowerMeter> start() {
    smc.setFloat("PSTR", 10);
    auto meter = SystemPowerMeter::create(smc, loop, clock);
    loop.runFor(0.5);
    return meter;
  }

  // The next sample, `after` seconds on the meter's clock, reads `watts`
  // (and `inWatts` from the charger).
  void sample(double after, float watts, float inWatts = 0) {
    clock.advance(after);
    smc.setFloat("PSTR", watts);
    smc.setFloat("PDTR", inWatts);
    loop.runFor(1);
  }

  FakeSMC smc;
  sys::VirtualRunLoop loop;
  sys::ManualClock clock;
};

TEST_F(SystemPowerMeterTest, CreationNeedsAnSMCWithReadableSystemPower) {
  const std::pair<const char*, void (*)(FakeSMC&)> cases[] = {
      {"no service", [](FakeSMC& f) { f.serviceMissing = true; }},
      {"no PSTR", [](FakeSMC& f) { f.removeKey("PSTR"); }},
      {"PSTR not a float",
       [](FakeSMC& f) { f.setKey("PSTR", smcKeyCode("ui16"), std::vector<std::uint8_t>(2)); }},
  };
  for (const auto& [what, arrange] : cases) {
    FakeSMC f;
    f.setFloat("PSTR", 10);
    arrange(f);
    EXPECT_EQ(SystemPowerMeter::create(f, loop, clock), nullptr) << what;
    EXPECT_TRUE(f.openConnections.empty()) << what;
    EXPECT_EQ(loop.pendingEvents(), 0u) << what;
  }
}

// A busy controller fails a call now and then; the meter gives up only on a
// key that stays unreadable over a few tries.
TEST_F(SystemPowerMeterTest, CreationRidesOutABusyController) {
  for (int busy = 0; busy <= SystemPowerMeter::kOpeningReads; ++busy) {
    FakeSMC f;
    f.setFloat("PSTR", 10);
    f.busyCalls = busy;
    auto meter = SystemPowerMeter::create(f, loop, clock);
    EXPECT_EQ(meter != nullptr, busy < SystemPowerMeter::kOpeningReads) << busy << " busy calls";
  }
}

TEST_F(SystemPowerMeterTest, IntervalsOutsideTheGapRuleAreSkipped) {
  const std::pair<double, SystemEnergy> cases[] = {
      {4.5, {4.5 * 11, 0, 4.5, true}},
      {5.0, {}},   // a sleep or stalled queue
      {0.0, {}},   // a repeated firing at the same instant
      {-3.0, {}},  // the clock was set back
  };
  for (const auto& [dt, expected] : cases) {
    SCOPED_TRACE(dt);
    auto meter = start();
    sample(dt, 12);
    EXPECT_EQ(meter->take(), expected);
    // The second sample becomes the base either way.
    sample(1, 14);
    EXPECT_EQ(meter->take(), (SystemEnergy{13, 0, 1, true}));
  }
}

TEST_F(SystemPowerMeterTest, AFailedSampleLeavesTheLastOneInPlace) {
  auto meter = start();
  smc.kernelErrorKeys = {"PSTR"};
  sample(1, 99, 99);
  EXPECT_EQ(meter->latestWatts(), 10.0);
  smc.kernelErrorKeys.clear();
  sample(1, 12, 4);  // bridges both seconds
  EXPECT_EQ(meter->take(), (SystemEnergy{22, 4, 2, true}));
  // Unreadable charger power counts as 0 at its end of the interval, and
  // an interval with no reading at either end has no charger figure at all.
  smc.kernelErrorKeys = {"PDTR"};
  sample(1, 12);
  EXPECT_EQ(meter->take(), (SystemEnergy{12, 2, 1, true}));
  sample(1, 12);
  EXPECT_EQ(meter->take(), (SystemEnergy{12, 0, 1, false}));

  smc.kernelErrorKeys = {"PSTR"};
  sample(3, 99);
  smc.kernelErrorKeys.clear();
  sample(3, 12);  // six seconds since the last good one: skipped
  EXPECT_EQ(meter->take(), SystemEnergy{});
}

TEST_F(SystemPowerMeterTest, ReadNowIsNotASampleAndDestructionStopsSampling) {
  smc.setFloat("PSTR", 7.5f);
  auto meter = SystemPowerMeter::create(smc, loop, clock);  // the loop has not run yet
  EXPECT_EQ(meter->readNow(), 7.5);
  EXPECT_EQ(meter->latestWatts(), std::nullopt);
  meter.reset();
  EXPECT_TRUE(smc.openConnections.empty());
  const std::size_t calls = smc.inputs.size();
  loop.runFor(5);
  EXPECT_EQ(smc.inputs.size(), calls);
}

// The meter on the virtual main loop, as the application runs it: its queue
// and timer are virtual events, and a 5-second take sees five 1-second
// trapezoids whatever the power did within them.
TEST(SystemPowerMeterOnVirtualLoopTest, TakesIntegrateEverySecondAndSkipSleep) {
  test::FakeSMC smc;
  smc.setFloat("PSTR", 10);
  smc.setFloat("PDTR", 30);
  sys::VirtualRunLoop loop;
  auto meter = SystemPowerMeter::create(smc, loop, loop.clock());
  ASSERT_NE(meter, nullptr);

  loop.runFor(0.5);  // first sample at once
  EXPECT_EQ(meter->take(), (SystemEnergy{}));
  loop.runFor(5);  // samples at 1..5 s
  EXPECT_EQ(meter->take(), (SystemEnergy{50, 150, 5, true}));

  // A step to 20 W between two samples is a trapezoid of 15 W for that second.
  loop.scheduleAfter(0.2, [&] { smc.setFloat("PSTR", 20); });
  loop.runFor(2);
  EXPECT_EQ(meter->take(), (SystemEnergy{15 + 20, 60, 2, true}));

  // Sleep: the first sample after wake comes long after the previous one, so
  // nothing is integrated across the sleep; integration resumes after it.
  loop.suspend(600);
  loop.runFor(0.5);
  EXPECT_EQ(meter->take().seconds, 0);
  loop.runFor(3);
  EXPECT_DOUBLE_EQ(meter->take().joules, 60);
  EXPECT_EQ(meter->latestWatts(), 20);
}

// A take up to now ends its interval at the take, not at the last timed
// sample: what a tick one second long needs to line up with the chip's
// energy over the same second. The timed samples go on across it.
TEST(SystemPowerMeterOnVirtualLoopTest, ATakeUpToNowEndsAtTheTake) {
  test::FakeSMC smc;
  smc.setFloat("PSTR", 10);
  smc.setFloat("PDTR", 30);
  sys::VirtualRunLoop loop;
  auto meter = SystemPowerMeter::create(smc, loop, loop.clock());
  ASSERT_NE(meter, nullptr);

  loop.runFor(0.5);  // a timed sample at 0 s
  EXPECT_EQ(meter->takeUpToNow(), (SystemEnergy{5, 15, 0.5, true}));
  loop.scheduleAfter(0.2, [&] { smc.setFloat("PSTR", 20); });
  loop.runFor(0.7);  // a timed sample at 1 s
  // 0.5 to 1 s: a trapezoid of 15 W; 1 to 1.2 s: 20 W.
  SystemEnergy taken = meter->takeUpToNow();
  // (Loop dates are seconds since 1970: differences are good to a microsecond.)
  EXPECT_NEAR(taken.joules, 15 * 0.5 + 20 * 0.2, 1e-5);
  EXPECT_NEAR(taken.seconds, 0.7, 1e-6);
  // Twice at one instant: nothing in between.
  EXPECT_EQ(meter->takeUpToNow(), (SystemEnergy{}));
  loop.runFor(2);  // timed samples at 2 and 3 s
  EXPECT_NEAR(meter->take().joules, 20 * 1.8, 1e-5);
}

}  // namespace
}  // namespace ebbwise
