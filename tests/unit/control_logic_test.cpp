// Checks of the control logic that scenarios cannot make: how often the host's
// LEDs are read (reads are not recorded there) and DRO values that are not numbers.
#include "control/control_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "config/pendant_settings.h"
#include "plugin/framework_string.h"
#include "plugin/hold_ticks.h"
#include "tests/unit/recording_host.h"

namespace quenta {
namespace {

using Calls = std::vector<std::string>;

// A status line big enough that assigning never needs a string manager.
struct StatusLine {
  StringData header{nullptr, 0, 255, 1};
  char chars[256] = {};
};

class ControlLogicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Install();
    block3_.assign(kStatusLineOffset + sizeof(FrameworkString), 0);
    SetStatus(FrameworkString{line_.chars});
    HostBlock3 = block3_.data();
  }
  void TearDown() override { ResetModuleState(); }

  void Press(std::initializer_list<int> bits) {
    for (int bit : bits) word_ |= 1u << bit;
  }
  void Release(std::initializer_list<int> bits) {
    for (int bit : bits) word_ &= ~(1u << bit);
  }
  // Status assignments are recorded as calls, after the poll's other calls.
  void Poll(int n = 1) {
    for (int i = 0; i < n; ++i) {
      logic_.RunPoll(ButtonStates(word_));
      FrameworkString status = Status();
      const std::string text = FrameworkStringText(status);
      if (!text.empty()) host_.calls.push_back("Status " + text);
      AssignFrameworkString(status, "");
      SetStatus(status);
    }
  }
  // The status line sits at a host offset that need not suit a pointer's alignment here.
  FrameworkString Status() const {
    FrameworkString status;
    std::memcpy(&status, block3_.data() + kStatusLineOffset, sizeof status);
    return status;
  }
  void SetStatus(FrameworkString status) { std::memcpy(block3_.data() + kStatusLineOffset, &status, sizeof status); }
  void Tap(std::initializer_list<int> bits) {
    Press(bits);
    Poll();
    Release(bits);
    Poll();
  }

  testing_support::RecordingHost host_;
  ControlLogic logic_;
  std::uint32_t word_ = 0;
  std::vector<char> block3_;
  StatusLine line_;
};

TEST_F(ControlLogicTest, JogModeLedsAreReadOncePerJogPeriodUpToTheFirstLitOne) {
  host_.leds[15] = true;
  Tap({19});  // step jog mode
  Tap({10});
  Tap({12});
  EXPECT_EQ(host_.Take(), (Calls{"DoButton 307", "DoButton 334", "DoButton 309", "DoButton 335"}));
  EXPECT_EQ(host_.ledReads, 2);  // 14, then 15, which is lit
  for (int i = 0; i < 15; ++i) AdvanceHoldTicks();
  Poll();
  EXPECT_EQ(host_.Take(), (Calls{"DoButton 205"}));
  host_.leds[15] = false;
  Tap({10});
  EXPECT_EQ(host_.Take(), (Calls{"DoButton 205", "DoButton 307", "DoButton 334"}));
  EXPECT_EQ(host_.ledReads, 5);  // a new period: 14, 15 and 57
}

TEST_F(ControlLogicTest, LedsAreReadOnlyWhileAHandlerCanAct) {
  Poll(3);
  Tap({21});  // at 0: nothing to step down
  EXPECT_EQ(host_.ledReads, 0);
  Press({9});
  Poll(3);
  EXPECT_EQ(host_.Take(), (Calls{"DoButton 1021"}));
  EXPECT_EQ(host_.ledReads, 1);
  Release({9});
  // The scale reset asks LED 805 only when LED 804 is off.
  Tap({25});
  host_.leds[804] = true;
  Press({20});
  Poll(2);
  EXPECT_EQ(host_.ledReads, 3);
  host_.leds[804] = false;
  Poll();
  EXPECT_EQ(host_.ledReads, 5);
  EXPECT_EQ(host_.Take(), (Calls{"SetDRO 821 100"}));
}

TEST_F(ControlLogicTest, DroValuesThatAreNotNumbersSendNothingAndKeepTheIndicator) {
  host_.dros[3] = 50;
  Poll();
  ASSERT_EQ(logic_.JogIndicator(), 2);
  const double nan = std::nan("");
  host_.dros[3] = nan;
  host_.dros[828] = nan;
  host_.dros[821] = nan;
  host_.dros[74] = nan;
  Tap({18});
  Tap({19});
  Tap({19});
  EXPECT_EQ(logic_.JogIndicator(), 2);
  for (int bit : {20, 21, 22, 23}) Tap({bit});
  EXPECT_EQ(host_.Take(), Calls{});
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
  const Calls expected[] = {
      {"DoButton 1", "Status  OEM Function #1 executed. "},     {"DoButton 2", "Status OEM Function #2 executed."},
      {"DoButton 3", "Status OEM Function #3 executed. "},      {"DoButton 4", "Status OEM Function #4 executed."},
      {"Code M0", "Status  Custom Macro #1 executed. "},        {"Code M32767", "Status  Custom Macro #2 executed. "},
      {"Code M-3", "Status  Custom Macro #3 executed. "},       {"Code M-32768", "Status  Custom Macro #4 executed. "},
  };
  Press({8});
  for (int entry = 0; entry < 8; ++entry) {
    Settings.BUTTON[1] = static_cast<std::int16_t>(2 + entry);  // rows 2 to 9: "813, OEM Button #1" on
    Tap({17});
    EXPECT_EQ(host_.Take(), expected[entry]) << "row " << 2 + entry;
  }
}

TEST_F(ControlLogicTest, FunctionKeyPositionsOutsideTheListDoNothing) {
  Press({8});
  for (int position : {-1, 70, 32767, -32768}) {
    Settings.BUTTON[0] = static_cast<std::int16_t>(position);
    Tap({16});
    EXPECT_EQ(host_.Take(), Calls{}) << position;
  }
  Settings.BUTTON[0] = 69;  // the last row, "104  , Goto Safe Z"
  Tap({16});
  EXPECT_EQ(host_.Take(), (Calls{"DoButton 104"}));
}

TEST_F(ControlLogicTest, AFreshControlLogicIsAFreshlyLoadedModule) {
  Settings.ScreenSel1 = 1;
  Settings.ScreenSel2 = 2;
  Settings.ScreenSel3 = 3;
  EXPECT_EQ(logic_.JogIndicator(), 0);
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
  EXPECT_EQ(host_.Take(), (Calls{"DoButton 2", "DoButton 3"}));
  // ...and rate jog mode and slot 1 in a new one.
  ControlLogic fresh;
  host_.dros[3] = 5;
  fresh.RunPoll(ButtonStates(1u << 18));
  fresh.RunPoll(ButtonStates(1u << 27));
  for (int i = 0; i < 3; ++i) AdvanceHoldTicks();
  fresh.RunPoll(ButtonStates(0));
  EXPECT_EQ(host_.Take(), (Calls{"SetDRO 3 50", "DoButton 2"}));
}

}  // namespace
}  // namespace quenta
