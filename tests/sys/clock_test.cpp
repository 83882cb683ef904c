#include "sys/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ebbwise::sys {
namespace {

TEST(ClockTest, ManualClockTicksFollowItsTimebase) {
  // 125/3 ns per tick, as on Apple silicon: 24 000 000 ticks per second.
  ManualClock clock(Date{1'000.0}, Timebase{125, 3}, 10.0);
  EXPECT_EQ(clock.monotonicTicks(), 240'000'000u);
  EXPECT_EQ(clock.timebase().ticksToSeconds(clock.monotonicTicks()), 10.0);

  std::uint64_t before = clock.monotonicTicks();
  clock.advance(5);
  EXPECT_EQ(clock.now(), Date{1'005.0});
  EXPECT_EQ(clock.monotonicTicks() - before, 120'000'000u);
  EXPECT_DOUBLE_EQ(clock.timebase().ticksToSeconds(clock.monotonicTicks() - before), 5.0);

  // Setting the wall clock (even backwards) never moves the tick counter.
  std::uint64_t ticks = clock.monotonicTicks();
  clock.set(Date{0});
  EXPECT_EQ(clock.now(), Date{0});
  EXPECT_EQ(clock.monotonicTicks(), ticks);

  ManualClock nanos(Date{0}, Timebase{1, 1}, 0);
  nanos.advance(1.5);
  EXPECT_EQ(nanos.monotonicTicks(), 1'500'000'000u);
}

TEST(ClockTest, TickConversionSaturates) {
  Timebase t{125, 3};
  EXPECT_EQ(t.secondsToTicks(0), 0u);
  EXPECT_EQ(t.secondsToTicks(-5), 0u);
  EXPECT_EQ(t.secondsToTicks(std::nan("")), 0u);
  EXPECT_EQ(t.secondsToTicks(1e300), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(t.secondsToTicks(std::numeric_limits<double>::infinity()),
            std::numeric_limits<std::uint64_t>::max());
}

}  // namespace
}  // namespace ebbwise::sys
