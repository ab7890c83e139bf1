// The pendant's buttons by the names of docs/button_map.md.
#pragma once

#include <string>

#include "device/reports.h"

namespace quenta::probe {

// Null outside the button bits 8 to 28.
const char* ButtonName(int bit);

// The buttons a report holds down, in bit order: "Shift + Jog X+", or
// "no button". Bits 29 to 31 carry no button; set, they show as such.
std::string DescribeButtons(const InputReport& report);

// The report's 8 bytes in hex: "00 01 04 00 00 00 00 00".
std::string RawBytes(const InputReport& report);

}  // namespace quenta::probe
