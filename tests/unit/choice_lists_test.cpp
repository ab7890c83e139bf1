// The two lists are a stored format: profiles hold positions in them. Every
// row is pinned here from the published table, not from the code.
#include "config/choice_lists.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace quenta {
namespace {

struct Row {
  std::int32_t code;
  const char* shown;
};

const Row kFunctionRows[] = {
    {0, " NONE"},
    {899, " ------------------------------"},
    {813, " OEM Button #1"},
    {814, " OEM Button #2"},
    {815, " OEM Button #3"},
    {816, " OEM Button #4"},
    {817, " Custom Macro #1"},
    {818, " Custom Macro #2"},
    {819, " Custom Macro #3"},
    {820, " Custom Macro #4"},
    {899, " ------------------------------"},
    {1, " Screen 1 (Program Run screen)"},
    {2, " Screen 2 (MDI screen)"},
    {3, " screen 3 (Toolpath screen)"},
    {4, " screen 4 (Positioning screen)"},
    {5, " screen 5 (Diagnostics screen)"},
    {6, " screen 6 ( Corrections screen)"},
    {7, " screen 7 (Tables screen)"},
    {323, " Toggle visibility of TAB screen"},
    {160, " Regen toolpath display"},
    {1020, "  Verify"},
    {899, " ------------------------------"},
    {110, " Spindle on/off"},
    {113, " Flood toggle"},
    {114, " Mist toggle"},
    {899, " ------------------------------"},
    {178, " Offline toggle"},
    {103, " Jog ON and OFF toggle"},
    {1029, " Softlimits Toggle"},
    {172, " Clear error label"},
    {167, " Z inhibit toggle"},
    {899, " ------------------------------"},
    {106, " mm/inch"},
    {256, " Machine Coordinates toggle"},
    {333, " Toggle Dist to Go"},
    {899, " ------------------------------"},
    {171, " Jog increment cycle"},
    {191, " Select Jog Increment 1"},
    {192, " Select Jog Increment 2"},
    {245, " Jog mode STEP CONT MPG toggle"},
    {899, " ------------------------------"},
    {250, " Disable movement on axis X"},
    {251, " Disable movement on axis Y"},
    {252, " Disable movement on axis Z"},
    {253, " Disable movement on axis A"},
    {899, " ------------------------------"},
    {139, " Part X Offset Touch"},
    {140, " Part Y Offset Touch"},
    {141, " Part Z Offset Touch"},
    {142, " Part A Offset Touch"},
    {899, " ------------------------------"},
    {145, " Tool X Offset Touch"},
    {146, " Tool Z Offset Touch"},
    {899, " ------------------------------"},
    {1007, " ZeroAll"},
    {1008, " Zero X"},
    {1009, " Zero Y"},
    {1010, " Zero Z"},
    {1011, " Zero A"},
    {120, " Touch Tool"},
    {1016, " Run From Here"},
    {899, " ------------------------------"},
    {1022, " Ref X"},
    {1023, " Ref Y"},
    {1024, " Ref Z"},
    {1025, " Ref A"},
    {899, " ------------------------------"},
    {1017, " GotoZs"},
    {138, " Go Home"},
    {104, " Goto Safe Z"},
};

const Row kScreenRows[] = {
    {0, " NONE"},
    {1, " Screen 1 (Program Run screen)"},
    {2, " Screen 2 (MDI screen)"},
    {3, " screen 4 (Toolpath screen)"},
    {4, " screen 5 (Offsets screen)"},
    {5, " screen 6 (Setting screen)"},
    {6, " screen 7 (Diagnostics screen)"},
};

template <std::size_t N>
void ExpectRows(const char* const* list, int size, const Row (&rows)[N]) {
  ASSERT_EQ(static_cast<std::size_t>(size), N);
  for (int position = 0; position < size; ++position) {
    EXPECT_EQ(EntryCode(list[position]), rows[position].code) << "position " << position;
    EXPECT_EQ(DisplayText(list[position]), rows[position].shown) << "position " << position;
  }
}

TEST(ChoiceListsTest, EveryFunctionRowHasItsCodeAndText) { ExpectRows(FunctionList, kFunctionListSize, kFunctionRows); }

TEST(ChoiceListsTest, EveryScreenRowHasItsPositionAsCodeAndItsText) {
  ExpectRows(ScreenList, kScreenListSize, kScreenRows);
}

TEST(ChoiceListsTest, SeparatorsAreTheSameRowWithCode899) {
  int separators = 0;
  for (const char* row : FunctionList) {
    if (DisplayText(row) != " ------------------------------") continue;
    ++separators;
    EXPECT_EQ(EntryCode(row), 899);
  }
  EXPECT_EQ(separators, 12);
}

TEST(ChoiceListsTest, RowsWithoutANumberOrCommaReadAsZeroAndNothing) {
  EXPECT_EQ(EntryCode("Verify"), 0);
  EXPECT_EQ(EntryCode("\t 54 \t, x"), 54);
  EXPECT_EQ(EntryCode("-3, x"), -3);
  EXPECT_EQ(DisplayText("no comma"), "");
  EXPECT_EQ(DisplayText("1,a,b"), "a,b");
}

}  // namespace
}  // namespace quenta
