#include "core/system_power_meter.h"

#include <gtest/gtest.h>

#include "core/smc.h"
#include "support/fake_smc.h"
#include "support/manual_run_loop.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise {
namespace {

using test::FakeSMC;
using test::ManualRunLoop;
using test::ManualSerialQueue;

class SystemPowerMeterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    smc.setFloat("PSTR", 10);
    smc.setFloat("PDTR", 0);
  }

  std::unique_ptr<SystemPowerMeter> start() {
    auto meter = SystemPowerMeter::create(smc, loop, clock);
    EXPECT_NE(meter, nullptr);
    queue = loop.queue(SystemPowerMeter::kQueueLabel);
    EXPECT_NE(queue, nullptr);
    return meter;
  }

  // Moves the clock on by `after` seconds and lets the timer fire once with
  // the SMC reading `watts` (and `inWatts` from the charger).
  void sample(double after, float watts, float inWatts = 0) {
    clock.advance(after);
    smc.setFloat("PSTR", watts);
    smc.setFloat("PDTR", inWatts);
    queue->fireAll();
  }

  FakeSMC smc;
  ManualRunLoop loop;
  sys::ManualClock clock;
  ManualSerialQueue* queue = nullptr;
};

TEST_F(SystemPowerMeterTest, CreationNeedsAnSMCWithReadableSystemPower) {
  struct Case {
    const char* what;
    void (*arrange)(FakeSMC&);
  };
  const Case cases[] = {
      {"no service", [](FakeSMC& f) { f.serviceMissing = true; }},
      {"no PSTR", [](FakeSMC& f) { f.removeKey("PSTR"); }},
      {"PSTR not a float",
       [](FakeSMC& f) {
         f.setKey("PSTR", {smcKeyCode("ui16"), 2, 0, {1, 0}});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSMC f;
    f.setFloat("PSTR", 10);
    c.arrange(f);
    EXPECT_EQ(SystemPowerMeter::create(f, loop, clock), nullptr);
    EXPECT_TRUE(f.openConnections.empty());
    EXPECT_TRUE(loop.queues().empty());
  }
}

TEST_F(SystemPowerMeterTest, SamplesEverySecondOnItsOwnQueueFromTheStart) {
  auto meter = start();
  ASSERT_EQ(queue->timers().size(), 1u);
  const auto& timer = queue->timers().begin()->second;
  EXPECT_EQ(timer.firstDelay, 0.0);
  EXPECT_EQ(timer.interval, 1.0);
  EXPECT_EQ(timer.leeway, 0.25);
  EXPECT_EQ(meter->take(), SystemEnergy{});  // nothing sampled yet
  EXPECT_EQ(meter->latestWatts(), std::nullopt);
}

TEST_F(SystemPowerMeterTest, IntegratesTrapezoidsBetweenTakes) {
  auto meter = start();
  sample(0, 10, 2);
  sample(1, 12, 4);
  EXPECT_EQ(meter->take(), (SystemEnergy{11, 3, 1}));
  EXPECT_EQ(meter->take(), SystemEnergy{});
  // The last sample stays, so integration continues across the take.
  sample(1, 14, 0);
  EXPECT_EQ(meter->take(), (SystemEnergy{13, 2, 1}));
  EXPECT_EQ(meter->latestWatts(), 14.0);
  // Unreadable charger power counts as 0 at its end of the interval.
  sample(0, 10, 6);
  meter->take();
  smc.kernelErrorKeys = {"PDTR"};
  sample(1, 10);
  EXPECT_EQ(meter->take(), (SystemEnergy{10, 3, 1}));
}

TEST_F(SystemPowerMeterTest, IntervalsOutsideTheGapRuleAreSkipped) {
  struct Case {
    double dt;
    SystemEnergy expected;
  };
  const Case cases[] = {
      {4.5, {4.5 * 11, 0, 4.5}},
      {5.0, {}},  // a sleep or stalled queue
      {6.0, {}},
      {0.0, {}},   // a repeated firing at the same instant
      {-3.0, {}},  // the clock was set back
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dt);
    auto meter = start();
    sample(0, 10);
    sample(c.dt, 12);
    EXPECT_EQ(meter->take(), c.expected);
    // The second sample becomes the base either way.
    sample(1, 14);
    EXPECT_EQ(meter->take(), (SystemEnergy{13, 0, 1}));
  }
}

TEST_F(SystemPowerMeterTest, AFailedSampleLeavesTheLastOneInPlace) {
  auto meter = start();
  sample(0, 10);
  smc.kernelErrorKeys = {"PSTR"};
  clock.advance(1);
  queue->fireAll();
  EXPECT_EQ(meter->latestWatts(), 10.0);
  smc.kernelErrorKeys.clear();
  sample(1, 12);  // bridges both seconds
  EXPECT_EQ(meter->take(), (SystemEnergy{22, 0, 2}));

  smc.kernelErrorKeys = {"PSTR"};
  clock.advance(3);
  queue->fireAll();
  smc.kernelErrorKeys.clear();
  sample(3, 12);  // six seconds since the last good one: skipped
  EXPECT_EQ(meter->take(), SystemEnergy{});
}

TEST_F(SystemPowerMeterTest, ReadNowAsksTheSMCOnTheQueue) {
  auto meter = start();
  smc.setFloat("PSTR", 7.5f);
  const int syncs = queue->syncCalls();
  EXPECT_EQ(meter->readNow(), 7.5);
  EXPECT_EQ(queue->syncCalls(), syncs + 1);
  EXPECT_EQ(meter->latestWatts(), std::nullopt);  // a reading is not a sample
  smc.resultByteForKey["PSTR"] = 0x84;
  EXPECT_EQ(meter->readNow(), std::nullopt);
}

TEST_F(SystemPowerMeterTest, DestructionStopsSamplingAndClosesTheSMC) {
  auto meter = start();
  ASSERT_EQ(queue->timers().size(), 1u);
  sys::Task handler = queue->timers().begin()->second.task;
  meter.reset();
  EXPECT_TRUE(loop.queues().empty());
  EXPECT_TRUE(smc.openConnections.empty());
  // A handler that outlived its queue must not touch the meter.
  const std::size_t calls = smc.inputs.size();
  handler();
  EXPECT_EQ(smc.inputs.size(), calls);
}

}  // namespace
}  // namespace ebbwise

namespace ebbwise {
namespace {

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
  auto steady = meter->take();
  EXPECT_DOUBLE_EQ(steady.seconds, 5);
  EXPECT_DOUBLE_EQ(steady.joules, 50);
  EXPECT_DOUBLE_EQ(steady.inJoules, 150);

  // A step to 20 W between two samples is a trapezoid of 15 W for that second.
  loop.scheduleAfter(0.2, [&] { smc.setFloat("PSTR", 20); });
  loop.runFor(2);
  auto step = meter->take();
  EXPECT_DOUBLE_EQ(step.seconds, 2);
  EXPECT_DOUBLE_EQ(step.joules, 15 + 20);

  // Sleep: the first sample after wake comes long after the previous one, so
  // nothing is integrated across the sleep; integration resumes after it.
  loop.suspend(600);
  loop.runFor(0.5);
  EXPECT_EQ(meter->take().seconds, 0);
  loop.runFor(3);
  EXPECT_DOUBLE_EQ(meter->take().joules, 60);
  EXPECT_EQ(meter->latestWatts(), 20);
}

}  // namespace
}  // namespace ebbwise
