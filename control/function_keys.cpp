#include "control/function_keys.h"

#include <cstdio>

#include "config/choice_lists.h"

namespace quenta {

namespace {

constexpr int kFirstFunctionKeyBit = 16;
constexpr std::int32_t kNoneCode = 0;
constexpr std::int32_t kJogToggleCode = 103;
constexpr std::int32_t kFirstOemCode = 813;
constexpr std::int32_t kFirstMacroCode = 817;

// The messages differ in their blanks on purpose: the host shows them as they are.
const char* const kOemMessages[] = {" OEM Function #1 executed. ", "OEM Function #2 executed.",
                                    "OEM Function #3 executed. ", "OEM Function #4 executed."};
const char* const kMacroMessages[] = {" Custom Macro #1 executed. ", " Custom Macro #2 executed. ",
                                      " Custom Macro #3 executed. ", " Custom Macro #4 executed. "};

std::int16_t OemCode(const PendantSettings& settings, int n) {
  const std::int16_t codes[] = {settings.OEM1, settings.OEM2, settings.OEM3, settings.OEM4};
  return codes[n];
}

std::int16_t MacroNumber(const PendantSettings& settings, int n) {
  const std::int16_t numbers[] = {settings.Macro1, settings.Macro2, settings.Macro3, settings.Macro4};
  return numbers[n];
}

}  // namespace

// A position outside the list (the dialog stores -1 for no choice) does nothing.
void FunctionKeys::RunFunction(int position) {
  if (position < 0 || position >= kFunctionListSize) return;
  const std::int32_t code = EntryCode(FunctionList[position]);
  if (code == kNoneCode) {
    host_.DoButton(kJogToggleCode);
  } else if (code < 800 || code >= 900) {
    host_.DoButton(code);
  } else if (code >= kFirstOemCode && code < kFirstMacroCode) {
    const int n = code - kFirstOemCode;
    host_.DoButton(OemCode(settings_, n));
    host_.ShowStatus(kOemMessages[n]);
  } else if (code >= kFirstMacroCode && code < kFirstMacroCode + 4) {
    const int n = code - kFirstMacroCode;
    char text[16];
    std::snprintf(text, sizeof text, "M%d", static_cast<int>(MacroNumber(settings_, n)));
    host_.Code(text);
    host_.ShowStatus(kMacroMessages[n]);
  }
}

void FunctionKeys::RunKey(int key, const ButtonStates& buttons) {
  const int bit = kFirstFunctionKeyBit + key;
  TimedLatch& latch = keys_[key];
  if (latch.PressEdge(WithShift(buttons, bit))) return;
  // The release counts only with Shift still down; otherwise the latch waits for it.
  const std::optional<std::int32_t> held = latch.ReleaseEdge(buttons.Up(bit) && buttons.Shift());
  if (held && IsShortHold(*held)) RunFunction(settings_.BUTTON[key]);
}

void FunctionKeys::ForgetPendingPresses() {
  for (TimedLatch& key : keys_) key.Clear();
}

}  // namespace quenta
