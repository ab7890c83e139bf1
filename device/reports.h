// The pendant's two HID reports. Both lengths count the report-identifier byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "control/button_states.h"

namespace quenta {

constexpr std::size_t kInputReportSize = 8;
constexpr std::size_t kOutputReportSize = 5;
using InputReport = std::array<std::uint8_t, kInputReportSize>;
using OutputReport = std::array<std::uint8_t, kOutputReportSize>;

// ButtonWord: bytes 0 to 3, little-endian.
std::uint32_t ButtonWord(const InputReport& report);
ButtonStates DecodeButtons(const InputReport& report);

// Byte 1: LED 800 in bit 0, 804 in bit 2, 805 in bit 3; byte 2: the indicator's low byte.
OutputReport EncodeOutputReport(const PendantDisplay& display);

}  // namespace quenta
