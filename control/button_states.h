// The pendant's buttons as the control logic reads them: button bit N is bit
// N of the report's ButtonWord, N = 8 to 28; bit 8 is the Shift button.
#pragma once

#include <cstdint>

namespace quenta {

constexpr int kShiftButton = 8;
constexpr int kFirstButtonBit = 8;
constexpr int kLastButtonBit = 28;
constexpr std::uint32_t kButtonMask = ((1u << (kLastButtonBit + 1)) - 1u) & ~((1u << kFirstButtonBit) - 1u);

// The states of button bits 8 to 28 of one report: 1 = down.
class ButtonStates {
 public:
  ButtonStates() = default;
  // Only bits 8 to 28 of the word are buttons; the rest is dropped.
  explicit ButtonStates(std::uint32_t buttonWord) : word_(buttonWord & kButtonMask) {}

  bool Down(int bit) const { return bit >= kFirstButtonBit && bit <= kLastButtonBit && ((word_ >> bit) & 1u) != 0; }
  bool Up(int bit) const { return !Down(bit); }
  bool Shift() const { return Down(kShiftButton); }
  std::uint32_t Word() const { return word_; }

 private:
  std::uint32_t word_ = 0;
};

// What the pendant shows: three of the host's LEDs and the jog indicator.
struct PendantDisplay {
  bool led800 = false;
  bool led804 = false;
  bool led805 = false;
  std::int32_t jogIndicator = 0;
};

}  // namespace quenta
