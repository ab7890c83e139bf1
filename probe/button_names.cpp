#include "probe/button_names.h"

#include <cstdio>

namespace quenta::probe {

namespace {

constexpr const char* kNames[kLastButtonBit - kFirstButtonBit + 1] = {
    "Shift",        "E-stop",         "Jog X+",      "Jog X-",         "Jog Y+",      "Jog Y-",
    "Jog Z+",       "Jog Z-",         "Jog A+ / F1", "Jog A- / F2",    "Jog rate",    "Jog step",
    "Scale 821 up", "Scale 821 down", "Scale 74 up", "Scale 74 down",  "Zero",        "Scale reset",
    "Cycle",        "Screen",         "Spindle",
};

}  // namespace

const char* ButtonName(int bit) {
  if (bit < kFirstButtonBit || bit > kLastButtonBit) return nullptr;
  return kNames[bit - kFirstButtonBit];
}

std::string DescribeButtons(const InputReport& report) {
  const std::uint32_t word = ButtonWord(report);
  std::string text;
  for (int bit = kFirstButtonBit; bit < 32; ++bit) {
    if (((word >> bit) & 1u) == 0) continue;
    if (!text.empty()) text += " + ";
    const char* name = ButtonName(bit);
    text += name != nullptr ? name : "unused bit " + std::to_string(bit);
  }
  return text.empty() ? "no button" : text;
}

std::string RawBytes(const InputReport& report) {
  std::string text;
  for (std::uint8_t byte : report) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += hex;
  }
  return text;
}

}  // namespace quenta::probe
