// The two fixed lists of choices. Profiles store positions in them, so the
// order and the texts of the rows are a stored format: never reorder.
#pragma once

#include <cstdint>
#include <string>

namespace quenta {

constexpr int kFunctionListSize = 70;
constexpr int kScreenListSize = 7;

extern const char* const FunctionList[kFunctionListSize];
extern const char* const ScreenList[kScreenListSize];

// The signed decimal number at the start of a row ("1020,  Verify" gives 1020).
std::int32_t EntryCode(const char* row);
// Everything after the first comma, unchanged (" NONE" for "0, NONE").
std::string DisplayText(const char* row);

}  // namespace quenta
