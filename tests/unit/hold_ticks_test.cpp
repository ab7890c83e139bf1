#include "plugin/hold_ticks.h"

#include <gtest/gtest.h>

namespace quenta {
namespace {

class HoldTicksTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetHoldTicks(); }
};

TEST_F(HoldTicksTest, CountsFromARestartAndWrapsAbove1000To101) {
  HoldTicks5.Restart();
  AdvanceHoldTicks();
  EXPECT_EQ(HoldTicks5.Read(), 1);
  HoldTicks5.Set(1000);
  AdvanceHoldTicks();
  EXPECT_EQ(HoldTicks5.Read(), 1001);
  AdvanceHoldTicks();
  EXPECT_EQ(HoldTicks5.Read(), 101);
}

TEST_F(HoldTicksTest, UntouchedCounterReads101AfterOneUpdateAndNeverFallsBelow) {
  AdvanceHoldTicks();
  EXPECT_EQ(HoldTicks1.Read(), 101);
  EXPECT_EQ(HoldTicks13.Read(), 101);
  for (int i = 0; i < 5000; ++i) {
    AdvanceHoldTicks();
    ASSERT_GE(HoldTicks7.Read(), 101);
    ASSERT_LE(HoldTicks7.Read(), 1001);
  }
}

TEST_F(HoldTicksTest, AllThirteenAdvanceTogether) {
  TickCounter* all[] = {&HoldTicks1, &HoldTicks2, &HoldTicks3, &HoldTicks4, &HoldTicks5, &HoldTicks6, &HoldTicks7,
                        &HoldTicks8, &HoldTicks9, &HoldTicks10, &HoldTicks11, &HoldTicks12, &HoldTicks13};
  for (TickCounter* c : all) c->Restart();
  AdvanceHoldTicks();
  AdvanceHoldTicks();
  for (TickCounter* c : all) EXPECT_EQ(c->Read(), 2);
}

}  // namespace
}  // namespace quenta
