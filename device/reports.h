// The pendant's two HID reports. Both lengths count the report-identifier byte.
#pragma once

#include <array>
#include <cstdint>

namespace quenta {

constexpr std::size_t kInputReportSize = 8;
constexpr std::size_t kOutputReportSize = 5;
using InputReport = std::array<std::uint8_t, kInputReportSize>;
using OutputReport = std::array<std::uint8_t, kOutputReportSize>;

constexpr int kShiftButton = 8;
constexpr int kFirstButtonBit = 8;
constexpr int kLastButtonBit = 28;

// The states of button bits 8 to 28 for one poll: 1 = down.
class ButtonStates {
 public:
  ButtonStates() = default;
  // Only bits 8 to 28 of the word are buttons; the rest is dropped.
  explicit ButtonStates(std::uint32_t buttonWord);

  bool Down(int bit) const { return bit >= kFirstButtonBit && bit <= kLastButtonBit && ((word_ >> bit) & 1u) != 0; }
  bool Up(int bit) const { return !Down(bit); }
  bool Shift() const { return Down(kShiftButton); }
  std::uint32_t Word() const { return word_; }

 private:
  std::uint32_t word_ = 0;
};

// ButtonWord: bytes 0 to 3, little-endian.
std::uint32_t ButtonWord(const InputReport& report);
ButtonStates DecodeButtons(const InputReport& report);

struct PendantLeds {
  bool led800 = false;
  bool led804 = false;
  bool led805 = false;
};

// Byte 1: LED 800 in bit 0, 804 in bit 2, 805 in bit 3; byte 2: the indicator's low byte.
OutputReport EncodeOutputReport(const PendantLeds& leds, std::int32_t jogIndicator);

}  // namespace quenta
