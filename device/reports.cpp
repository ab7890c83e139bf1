#include "device/reports.h"

namespace quenta {

namespace {
constexpr std::uint32_t kButtonMask = ((1u << (kLastButtonBit + 1)) - 1u) & ~((1u << kFirstButtonBit) - 1u);
}

ButtonStates::ButtonStates(std::uint32_t buttonWord) : word_(buttonWord & kButtonMask) {}

std::uint32_t ButtonWord(const InputReport& report) {
  return static_cast<std::uint32_t>(report[0]) | static_cast<std::uint32_t>(report[1]) << 8 |
         static_cast<std::uint32_t>(report[2]) << 16 | static_cast<std::uint32_t>(report[3]) << 24;
}

ButtonStates DecodeButtons(const InputReport& report) { return ButtonStates(ButtonWord(report)); }

OutputReport EncodeOutputReport(const PendantLeds& leds, std::int32_t jogIndicator) {
  OutputReport out{};
  out[1] = static_cast<std::uint8_t>((leds.led800 ? 0x01 : 0) | (leds.led804 ? 0x04 : 0) | (leds.led805 ? 0x08 : 0));
  out[2] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(jogIndicator) & 0xFFu);
  return out;
}

}  // namespace quenta
