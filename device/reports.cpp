#include "device/reports.h"

namespace quenta {

std::uint32_t ButtonWord(const InputReport& report) {
  return static_cast<std::uint32_t>(report[0]) | static_cast<std::uint32_t>(report[1]) << 8 |
         static_cast<std::uint32_t>(report[2]) << 16 | static_cast<std::uint32_t>(report[3]) << 24;
}

ButtonStates DecodeButtons(const InputReport& report) { return ButtonStates(ButtonWord(report)); }

OutputReport EncodeOutputReport(const PendantDisplay& display) {
  OutputReport out{};
  out[1] = static_cast<std::uint8_t>((display.led800 ? 0x01 : 0) | (display.led804 ? 0x04 : 0) |
                                     (display.led805 ? 0x08 : 0));
  out[2] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(display.jogIndicator) & 0xFFu);
  return out;
}

}  // namespace quenta
