// Checks of the control logic that scenarios cannot make: how often the host's
// LEDs are read (reads are not recorded there) and DRO values that are not numbers.
#include "control/control_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "config/pendant_settings.h"
#include "control/hold_ticks.h"
#include "plugin/host_connection.h"
#include "sim/scripted_host.h"

namespace quenta {
namespace {

class ControlLogicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.MakeCurrent();
    connection_.callbacks = sim::ScriptedHost::Callbacks();
    connection_.block3 = host_.HostBlock3();
    host_.SetCallHook([this](sim::HostCallKind kind, int) { ledReads += kind == sim::HostCallKind::GetLED; });
  }
  void AdvanceHoldTicks() { ticks_.Advance(); }
  std::int32_t JogIndicator() { return logic_.Display().jogIndicator; }

  void Press(std::initializer_list<int> bits) {
    for (int bit : bits) word_ |= 1u << bit;
  }
  void Release(std::initializer_list<int> bits) {
    for (int bit : bits) word_ &= ~(1u << bit);
  }
  void Poll(int n = 1) {
    for (int i = 0; i < n; ++i) logic_.Act(ButtonStates(word_));
  }
  void Tap(std::initializer_list<int> bits) {
    Press(bits);
    Poll();
    Release(bits);
    Poll();
  }
  std::string Take() { return sim::FormatCalls(host_.TakeCalls()); }

  sim::ScriptedHost host_;
  int ledReads = 0;
  HostConnection connection_;
  PendantSettings Settings;
  HoldTicks ticks_;
  ControlLogic logic_{connection_, Settings, ticks_};
  std::uint32_t word_ = 0;
};

TEST_F(ControlLogicTest, JogModeLedsAreReadOncePerJogPeriodUpToTheFirstLitOne) {
  host_.SetLed(15, true);
  Tap({19});  // step jog mode
  Tap({10});
  Tap({12});
  EXPECT_EQ(Take(), "DoButton 307; DoButton 334; DoButton 309; DoButton 335");
  EXPECT_EQ(ledReads, 2);  // 14, then 15, which is lit
  for (int i = 0; i < 15; ++i) AdvanceHoldTicks();
  Poll();
  EXPECT_EQ(Take(), "DoButton 205");
  host_.SetLed(15, false);
  Tap({10});
  EXPECT_EQ(Take(), "DoButton 205; DoButton 307; DoButton 334");
  EXPECT_EQ(ledReads, 5);  // a new period: 14, 15 and 57
}

TEST_F(ControlLogicTest, LedsAreReadOnlyWhileAHandlerCanAct) {
  Poll(3);
  Tap({21});  // at 0: nothing to step down
  EXPECT_EQ(ledReads, 0);
  Press({9});
  Poll(3);
  EXPECT_EQ(Take(), "DoButton 1021");
  EXPECT_EQ(ledReads, 1);
  Release({9});
  // The scale reset asks LED 805 only when LED 804 is off.
  Tap({25});
  host_.SetLed(804, true);
  Press({20});
  Poll(2);
  EXPECT_EQ(ledReads, 3);
  host_.SetLed(804, false);
  Poll();
  EXPECT_EQ(ledReads, 5);
  EXPECT_EQ(Take(), "SetDRO 821 100");
}

TEST_F(ControlLogicTest, DroValuesThatAreNotNumbersSendNothingAndKeepTheIndicator) {
  host_.SetDro(3, 50);
  Poll();
  ASSERT_EQ(JogIndicator(), 2);
  const double nan = std::nan("");
  host_.SetDro(3, nan);
  host_.SetDro(828, nan);
  host_.SetDro(821, nan);
  host_.SetDro(74, nan);
  Tap({18});
  Tap({19});
  Tap({19});
  EXPECT_EQ(JogIndicator(), 2);
  for (int bit : {20, 21, 22, 23}) Tap({bit});
  EXPECT_EQ(Take(), "nothing");
}

TEST_F(ControlLogicTest, EveryOemAndMacroEntrySendsItsSettingThenItsExactMessage) {
  Settings.OEM1 = 1;
  Settings.OEM2 = 2;
  Settings.OEM3 = 3;
  Settings.OEM4 = 4;
  Settings.Macro1 = 0;
  Settings.Macro2 = 32767;
  Settings.Macro3 = -3;
  Settings.Macro4 = -32768;
  const char* const expected[] = {
      R"(DoButton 1; Status " OEM Function #1 executed. ")",  R"(DoButton 2; Status "OEM Function #2 executed.")",
      R"(DoButton 3; Status "OEM Function #3 executed. ")",   R"(DoButton 4; Status "OEM Function #4 executed.")",
      R"(Code "M0"; Status " Custom Macro #1 executed. ")",     R"(Code "M32767"; Status " Custom Macro #2 executed. ")",
      R"(Code "M-3"; Status " Custom Macro #3 executed. ")",    R"(Code "M-32768"; Status " Custom Macro #4 executed. ")",
  };
  Press({8});
  for (int entry = 0; entry < 8; ++entry) {
    Settings.BUTTON[1] = static_cast<std::int16_t>(2 + entry);  // rows 2 to 9: "813, OEM Button #1" on
    Tap({17});
    EXPECT_EQ(Take(), expected[entry]) << "row " << 2 + entry;
  }
}

TEST_F(ControlLogicTest, FunctionKeyPositionsOutsideTheListDoNothing) {
  Press({8});
  for (int position : {-1, 70, 32767, -32768}) {
    Settings.BUTTON[0] = static_cast<std::int16_t>(position);
    Tap({16});
    EXPECT_EQ(Take(), "nothing") << position;
  }
  Settings.BUTTON[0] = 69;  // the last row, "104  , Goto Safe Z"
  Tap({16});
  EXPECT_EQ(Take(), "DoButton 104");
}

TEST_F(ControlLogicTest, AFreshControlLogicIsAFreshlyLoadedModule) {
  Settings.ScreenSel1 = 1;
  Settings.ScreenSel2 = 2;
  Settings.ScreenSel3 = 3;
  EXPECT_EQ(JogIndicator(), 0);
  // Step jog mode and screen slot 3 in one object...
  Tap({19});
  Press({27});
  Poll();
  for (int i = 0; i < 3; ++i) AdvanceHoldTicks();
  Release({27});
  Poll();
  Press({27});
  Poll();
  for (int i = 0; i < 3; ++i) AdvanceHoldTicks();
  Release({27});
  Poll();
  EXPECT_EQ(Take(), "DoButton 2; DoButton 3");
  // ...and rate jog mode and slot 1 in a new one.
  ControlLogic fresh(connection_, Settings, ticks_);
  host_.SetDro(3, 5);
  fresh.Act(ButtonStates(1u << 18));
  fresh.Act(ButtonStates(1u << 27));
  for (int i = 0; i < 3; ++i) AdvanceHoldTicks();
  fresh.Act(ButtonStates(0));
  EXPECT_EQ(Take(), "SetDRO 3 50; DoButton 2");
}

}  // namespace
}  // namespace quenta
