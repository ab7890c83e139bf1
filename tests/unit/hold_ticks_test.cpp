#include "control/hold_ticks.h"

#include <gtest/gtest.h>

namespace quenta {
namespace {

TEST(HoldTicksTest, CountsFromARestartAndWrapsAbove1000To101) {
  HoldTicks ticks;
  ticks[5].Restart();
  ticks.Advance();
  EXPECT_EQ(ticks[5].Read(), 1);
  ticks[5].Set(1000);
  ticks.Advance();
  EXPECT_EQ(ticks[5].Read(), 1001);
  ticks.Advance();
  EXPECT_EQ(ticks[5].Read(), 101);
}

TEST(HoldTicksTest, UntouchedCounterReads101AfterOneUpdateAndNeverFallsBelow) {
  HoldTicks ticks;
  ticks.Advance();
  EXPECT_EQ(ticks[1].Read(), 101);
  EXPECT_EQ(ticks[13].Read(), 101);
  for (int i = 0; i < 5000; ++i) {
    ticks.Advance();
    ASSERT_GE(ticks[7].Read(), 101);
    ASSERT_LE(ticks[7].Read(), 1001);
  }
}

TEST(HoldTicksTest, AllThirteenAdvanceTogether) {
  HoldTicks ticks;
  for (int n = 1; n <= HoldTicks::kCounters; ++n) ticks[n].Restart();
  ticks.Advance();
  ticks.Advance();
  for (int n = 1; n <= HoldTicks::kCounters; ++n) EXPECT_EQ(ticks[n].Read(), 2) << n;
}

}  // namespace
}  // namespace quenta
