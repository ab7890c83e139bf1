#include "config/choice_lists.h"

#include <cstring>

#include "profile/leading_integer.h"

namespace quenta {

#define QUENTA_SEPARATOR "899  , ------------------------------"

const char* const FunctionList[kFunctionListSize] = {
    "0, NONE",
    QUENTA_SEPARATOR,
    "813, OEM Button #1",
    "814, OEM Button #2",
    "815, OEM Button #3",
    "816, OEM Button #4",
    "817, Custom Macro #1",
    "818, Custom Macro #2",
    "819, Custom Macro #3",
    "820, Custom Macro #4",
    QUENTA_SEPARATOR,
    "1    , Screen 1 (Program Run screen)",
    "2    , Screen 2 (MDI screen)",
    "3    , screen 3 (Toolpath screen)",
    "4    , screen 4 (Positioning screen)",
    "5    , screen 5 (Diagnostics screen)",
    "6    , screen 6 ( Corrections screen)",
    "7    , screen 7 (Tables screen)",
    "323  , Toggle visibility of TAB screen",
    "160  , Regen toolpath display",
    "1020,  Verify",
    QUENTA_SEPARATOR,
    "110  , Spindle on/off",
    "113  , Flood toggle",
    "114  , Mist toggle",
    QUENTA_SEPARATOR,
    "178  , Offline toggle",
    "103  , Jog ON and OFF toggle",
    "1029 , Softlimits Toggle",
    "172  , Clear error label",
    "167  , Z inhibit toggle",
    QUENTA_SEPARATOR,
    "106  , mm/inch",
    "256  , Machine Coordinates toggle",
    "333  , Toggle Dist to Go",
    QUENTA_SEPARATOR,
    "171  , Jog increment cycle",
    "191  , Select Jog Increment 1",
    "192  , Select Jog Increment 2",
    "245  , Jog mode STEP CONT MPG toggle",
    QUENTA_SEPARATOR,
    "250  , Disable movement on axis X",
    "251  , Disable movement on axis Y",
    "252  , Disable movement on axis Z",
    "253  , Disable movement on axis A",
    QUENTA_SEPARATOR,
    "139  , Part X Offset Touch",
    "140  , Part Y Offset Touch",
    "141  , Part Z Offset Touch",
    "142  , Part A Offset Touch",
    QUENTA_SEPARATOR,
    "145  , Tool X Offset Touch",
    "146  , Tool Z Offset Touch",
    QUENTA_SEPARATOR,
    "1007 , ZeroAll",
    "1008 , Zero X",
    "1009 , Zero Y",
    "1010 , Zero Z",
    "1011 , Zero A",
    "120  , Touch Tool",
    "1016 , Run From Here",
    QUENTA_SEPARATOR,
    "1022 , Ref X",
    "1023 , Ref Y",
    "1024 , Ref Z",
    "1025 , Ref A",
    QUENTA_SEPARATOR,
    "1017 , GotoZs",
    "138  , Go Home",
    "104  , Goto Safe Z",
};

#undef QUENTA_SEPARATOR

const char* const ScreenList[kScreenListSize] = {
    "0, NONE",
    "1, Screen 1 (Program Run screen)",
    "2, Screen 2 (MDI screen)",
    "3, screen 4 (Toolpath screen)",
    "4, screen 5 (Offsets screen)",
    "5, screen 6 (Setting screen)",
    "6, screen 7 (Diagnostics screen)",
};

std::int32_t EntryCode(const char* row) {
  const LeadingInteger parsed = ParseLeadingInteger(row);
  return parsed.found ? parsed.value : 0;
}

std::string DisplayText(const char* row) {
  const char* comma = std::strchr(row, ',');
  return comma == nullptr ? std::string() : std::string(comma + 1);
}

}  // namespace quenta
