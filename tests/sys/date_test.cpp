#include "sys/date.h"

#include <gtest/gtest.h>

namespace ebbwise::sys {
namespace {

TEST(DateTest, ConvertsToAndFromTheReferenceDate) {
  // 2024-01-01 00:00 UTC.
  Date newYear{1'704'067'200.0};
  EXPECT_EQ(newYear.secondsSinceReferenceDate(), 725'760'000.0);
  EXPECT_EQ(Date::fromSecondsSinceReferenceDate(725'760'000.0), newYear);
  EXPECT_EQ(Date::fromSecondsSinceReferenceDate(0).secondsSince1970, 978'307'200.0);
  EXPECT_EQ(Date::fromSecondsSinceReferenceDate(-1.5).secondsSince1970, 978'307'198.5);

  Date later = newYear + 90;
  EXPECT_EQ(later - newYear, 90);
  EXPECT_EQ(later - 90.0, newYear);
  EXPECT_LT(newYear, later);
}

}  // namespace
}  // namespace ebbwise::sys
