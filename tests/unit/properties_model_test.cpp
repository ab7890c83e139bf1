#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "config/choice_lists.h"
#include "config/properties_model.h"
#include "resources/resource_ids.h"
#include "sim/scripted_dialog.h"

namespace quenta {
namespace {

using Action = sim::DialogSetting;
using sim::RunScriptedConfig;
using sim::ScriptedConfigResult;
using sim::ScriptedPropertiesView;

Action Type(int id, std::string text) { return {id, Action::Kind::Text, std::move(text), -1, false}; }
Action Pick(int id, int row) { return {id, Action::Kind::Row, {}, row, false}; }
Action Tick(int id, bool on) { return {id, Action::Kind::Check, {}, -1, on}; }

auto Fields(const PendantSettings& s) {
  return std::make_tuple(s.BUTTON[0], s.BUTTON[1], s.BUTTON[2], s.Macro1, s.Macro2, s.Macro3, s.Macro4, s.OEM1,
                         s.OEM2, s.OEM3, s.OEM4, s.ScreenSel1, s.ScreenSel2, s.ScreenSel3, s.Xreverse, s.Yreverse,
                         s.Zreverse);
}

PendantSettings Sample() {
  PendantSettings s;
  s.BUTTON[0] = 6;
  s.BUTTON[1] = 69;
  s.BUTTON[2] = 7;
  s.Macro1 = -12;
  s.Macro2 = 2;
  s.Macro3 = 3;
  s.Macro4 = 4;
  s.OEM1 = 1000;
  s.OEM2 = 1001;
  s.OEM3 = 1002;
  s.OEM4 = -1;
  s.ScreenSel1 = 0;
  s.ScreenSel2 = 2;
  s.ScreenSel3 = 6;
  s.Yreverse = true;
  return s;
}

// Every box refused text could be typed into, in the order OK reads them.
const int kReadingOrder[] = {IDC_MACRO1, IDC_MACRO2, IDC_OEM1, IDC_OEM2, IDC_OEM3, IDC_OEM4, IDC_MACRO3, IDC_MACRO4};

TEST(EditNumberRule, ReadsTheLeadingNumberAndIgnoresTheRest) {
  EXPECT_EQ(ParseEditNumber("12abc"), std::optional<std::int16_t>(12));
  EXPECT_EQ(ParseEditNumber(" -5"), std::optional<std::int16_t>(-5));
  EXPECT_EQ(ParseEditNumber("\t+7 8"), std::optional<std::int16_t>(7));
  EXPECT_EQ(ParseEditNumber("007"), std::optional<std::int16_t>(7));
  EXPECT_EQ(ParseEditNumber("-0"), std::optional<std::int16_t>(0));
}

TEST(EditNumberRule, RefusesTextWithoutALeadingDigit) {
  for (const char* text : {"", "   ", "-", "+", "abc", "x12", "- 5", "--5", "+-1"})
    EXPECT_EQ(ParseEditNumber(text), std::nullopt) << '"' << text << '"';
}

TEST(EditNumberRule, ClampsNumbersOutsideSixteenBitsToTheNearestLimit) {
  EXPECT_EQ(ParseEditNumber("32767"), std::optional<std::int16_t>(32767));
  EXPECT_EQ(ParseEditNumber("-32768"), std::optional<std::int16_t>(-32768));
  EXPECT_EQ(ParseEditNumber("32768"), std::optional<std::int16_t>(32767));
  EXPECT_EQ(ParseEditNumber("70000"), std::optional<std::int16_t>(32767));
  EXPECT_EQ(ParseEditNumber("-32769"), std::optional<std::int16_t>(-32768));
  EXPECT_EQ(ParseEditNumber("99999999999999999999"), std::optional<std::int16_t>(32767));
  EXPECT_EQ(ParseEditNumber("-99999999999999999999"), std::optional<std::int16_t>(-32768));
}

TEST(PropertiesDialogOpen, ShowsTheSettingsInTheControls) {
  ScriptedPropertiesView view;
  PropertiesDialogModel dialog;
  dialog.Open(view, Sample());

  for (int id : {IDC_FUNCTION_KEY1, IDC_FUNCTION_KEY2}) {
    ASSERT_EQ(view.Rows(id).size(), 70u);
    EXPECT_EQ(view.Rows(id)[0], " NONE");
    EXPECT_EQ(view.Rows(id)[20], "  Verify");
    EXPECT_EQ(view.Rows(id)[69], DisplayText(FunctionList[69]));
  }
  for (int id : {IDC_SCREEN1, IDC_SCREEN2, IDC_SCREEN3}) {
    ASSERT_EQ(view.Rows(id).size(), 7u);
    EXPECT_EQ(view.Rows(id)[3], " screen 4 (Toolpath screen)");
  }
  EXPECT_EQ(view.SelectedRow(IDC_FUNCTION_KEY1), 6);
  EXPECT_EQ(view.SelectedRow(IDC_FUNCTION_KEY2), 69);
  EXPECT_EQ(view.SelectedRow(IDC_SCREEN1), 0);
  EXPECT_EQ(view.SelectedRow(IDC_SCREEN2), 2);
  EXPECT_EQ(view.SelectedRow(IDC_SCREEN3), 6);

  EXPECT_EQ(view.EditText(IDC_MACRO1), "-12");
  EXPECT_EQ(view.EditText(IDC_MACRO4), "4");
  EXPECT_EQ(view.EditText(IDC_OEM1), "1000");
  EXPECT_EQ(view.EditText(IDC_OEM4), "-1");
  EXPECT_FALSE(view.IsChecked(IDC_XREVERSE));
  EXPECT_TRUE(view.IsChecked(IDC_YREVERSE));
  EXPECT_FALSE(view.IsChecked(IDC_ZREVERSE));
  EXPECT_TRUE(view.Messages().empty());
}

TEST(PropertiesDialogOpen, PositionsWithoutARowOpenUnselectedAndOkStoresMinusOne) {
  PendantSettings settings = Sample();
  settings.BUTTON[0] = 80;
  settings.BUTTON[1] = -1;
  settings.ScreenSel1 = 7;
  settings.ScreenSel2 = -32768;
  ScriptedPropertiesView view;
  PropertiesDialogModel dialog;
  dialog.Open(view, settings);
  EXPECT_EQ(view.SelectedRow(IDC_FUNCTION_KEY1), -1);
  EXPECT_EQ(view.SelectedRow(IDC_FUNCTION_KEY2), -1);
  EXPECT_EQ(view.SelectedRow(IDC_SCREEN1), -1);
  EXPECT_EQ(view.SelectedRow(IDC_SCREEN2), -1);

  ASSERT_TRUE(dialog.Ok(view, settings));
  EXPECT_EQ(settings.BUTTON[0], -1);
  EXPECT_EQ(settings.BUTTON[1], -1);
  EXPECT_EQ(settings.ScreenSel1, -1);
  EXPECT_EQ(settings.ScreenSel2, -1);
  EXPECT_EQ(settings.ScreenSel3, 6);
}

TEST(PropertiesDialogOk, UnchangedControlsGiveBackTheSameSettings) {
  PendantSettings settings = Sample();
  const ScriptedConfigResult result = RunScriptedConfig(settings, true, {});
  EXPECT_TRUE(result.messages.empty());
  EXPECT_EQ(Fields(settings), Fields(Sample()));
}

TEST(PropertiesDialogOk, AppliesWhatTheUserChanged) {
  PendantSettings settings = Sample();
  const ScriptedConfigResult result = RunScriptedConfig(
      settings, true,
      {Type(IDC_MACRO1, "12abc"), Type(IDC_MACRO3, " -5"), Type(IDC_OEM2, "70000"), Type(IDC_OEM3, "-99999"),
       Pick(IDC_FUNCTION_KEY1, 54), Pick(IDC_FUNCTION_KEY2, -1), Pick(IDC_SCREEN3, 100), Pick(IDC_SCREEN1, 4),
       Tick(IDC_XREVERSE, true), Tick(IDC_YREVERSE, false), Tick(IDC_ZREVERSE, true)});
  EXPECT_TRUE(result.messages.empty());
  EXPECT_TRUE(result.errors.empty());
  EXPECT_EQ(settings.Macro1, 12);
  EXPECT_EQ(settings.Macro2, 2);
  EXPECT_EQ(settings.Macro3, -5);
  EXPECT_EQ(settings.OEM2, 32767);
  EXPECT_EQ(settings.OEM3, -32768);
  EXPECT_EQ(settings.BUTTON[0], 54);
  EXPECT_EQ(settings.BUTTON[1], -1);
  EXPECT_EQ(settings.BUTTON[2], 7) << "the third slot is never edited";
  EXPECT_EQ(settings.ScreenSel1, 4);
  EXPECT_EQ(settings.ScreenSel3, -1);
  EXPECT_TRUE(settings.Xreverse);
  EXPECT_FALSE(settings.Yreverse);
  EXPECT_TRUE(settings.Zreverse);
}

TEST(PropertiesDialogOk, RefusedTextShowsTheMessageOnceAndChangesNothing) {
  for (const char* bad : {"", "abc", "-", "  ", "+"}) {
    PendantSettings settings = Sample();
    const ScriptedConfigResult result =
        RunScriptedConfig(settings, true,
                          {Type(IDC_MACRO1, "77"), Pick(IDC_FUNCTION_KEY1, 3), Tick(IDC_XREVERSE, true),
                           Type(IDC_MACRO4, bad)});
    EXPECT_THAT(result.messages, ::testing::ElementsAre("Please enter an integer.")) << '"' << bad << '"';
    EXPECT_EQ(Fields(settings), Fields(Sample())) << '"' << bad << '"';
  }
}

TEST(PropertiesDialogOk, TheFirstRefusedBoxInReadingOrderTakesTheFocus) {
  const int count = static_cast<int>(std::size(kReadingOrder));
  for (int first = 0; first < count; ++first) {
    for (int later = first + 1; later < count; ++later) {
      ScriptedPropertiesView view;
      PropertiesDialogModel dialog;
      PendantSettings settings = Sample();
      dialog.Open(view, settings);
      view.SetEditText(kReadingOrder[later], "x");
      view.SetEditText(kReadingOrder[first], "y");
      EXPECT_FALSE(dialog.Ok(view, settings));
      EXPECT_EQ(dialog.RefusedEditId(), kReadingOrder[first]) << kReadingOrder[first] << " vs " << kReadingOrder[later];
      EXPECT_EQ(view.FocusedEdit(), kReadingOrder[first]);
      EXPECT_EQ(view.Messages().size(), 1u);
    }
  }
}

TEST(PropertiesDialogOk, AFixedBoxIsAcceptedAtTheNextOk) {
  ScriptedPropertiesView view;
  PropertiesDialogModel dialog;
  PendantSettings settings = Sample();
  dialog.Open(view, settings);
  view.SetEditText(IDC_OEM1, "oops");
  view.SetEditText(IDC_MACRO3, "");
  ASSERT_FALSE(dialog.Ok(view, settings));
  EXPECT_EQ(view.FocusedEdit(), IDC_OEM1);
  view.SetEditText(IDC_OEM1, "813");
  ASSERT_FALSE(dialog.Ok(view, settings));
  EXPECT_EQ(view.FocusedEdit(), IDC_MACRO3);
  EXPECT_EQ(Fields(settings), Fields(Sample()));
  view.SetEditText(IDC_MACRO3, "9");
  ASSERT_TRUE(dialog.Ok(view, settings));
  EXPECT_EQ(dialog.RefusedEditId(), 0);
  EXPECT_EQ(settings.OEM1, 813);
  EXPECT_EQ(settings.Macro3, 9);
  EXPECT_EQ(view.Messages().size(), 2u);
}

TEST(PropertiesDialogCancel, ChangesNoSettingWhateverWasEdited) {
  PendantSettings settings = Sample();
  const ScriptedConfigResult result = RunScriptedConfig(
      settings, false,
      {Type(IDC_MACRO1, "1"), Type(IDC_OEM4, "abc"), Pick(IDC_FUNCTION_KEY1, 2), Pick(IDC_SCREEN2, 5),
       Tick(IDC_XREVERSE, true), Tick(IDC_YREVERSE, false), Tick(IDC_ZREVERSE, true)});
  EXPECT_TRUE(result.messages.empty());
  EXPECT_EQ(Fields(settings), Fields(Sample()));
}

TEST(ScriptedDialog, ActionsThatDoNotFitTheirControlAreReportedAndSkipped) {
  PendantSettings settings = Sample();
  const ScriptedConfigResult result =
      RunScriptedConfig(settings, true,
                        {Type(IDC_FUNCTION_KEY1, "5"), Pick(IDC_MACRO1, 2), Tick(IDC_OEM1, true), Type(9999, "1"),
                         Type(IDC_OEM1, "5")});
  EXPECT_EQ(result.errors.size(), 4u);
  PendantSettings expected = Sample();
  expected.OEM1 = 5;
  EXPECT_EQ(Fields(settings), Fields(expected));
}

}  // namespace
}  // namespace quenta
