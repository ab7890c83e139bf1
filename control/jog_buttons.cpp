#include "control/jog_buttons.h"

#include "config/pendant_settings.h"
#include "control/host_calls.h"

namespace quenta {

namespace {

constexpr int kFirstJogBit = 10;
constexpr int kFirstShiftFunctionBit = 16;
constexpr std::int32_t kArmWindowTicks = 7;
constexpr std::int32_t kRestoreAfterTicks = 15;

struct JogCodes {
  std::int32_t start;
  std::int32_t reversedStart;
  std::int32_t end;
};

// Indexed by bit - 10. Bits 16 and 17 (A) have no reverse setting.
constexpr JogCodes kJogCodes[] = {
    {307, 308, 334}, {308, 307, 334}, {309, 310, 335}, {310, 309, 335},
    {311, 312, 336}, {312, 311, 336}, {313, 313, 337}, {314, 314, 337},
};

bool Reversed(int bit) {
  switch ((bit - kFirstJogBit) / 2) {
    case 0: return Settings.Xreverse;
    case 1: return Settings.Yreverse;
    case 2: return Settings.Zreverse;
    default: return false;
  }
}

// With Shift, bits 16 and 17 are function keys: neither a press nor a release of a jog.
bool ShiftFunction(const ButtonStates& buttons, int bit) { return bit >= kFirstShiftFunctionBit && buttons.Shift(); }
}  // namespace

void JogButtons::RunHandlers(const ButtonStates& buttons, bool stepJogMode) {
  for (JogButton& button : buttons_) {
    const bool shiftFunction = ShiftFunction(buttons, button.bit);
    const bool down = buttons.Down(button.bit) && !shiftFunction;
    const bool up = buttons.Up(button.bit) && !shiftFunction;
    if (stepJogMode)
      HandleStepMode(button, down, up);
    else
      HandleRateMode(button, down, up);
  }
}

void JogButtons::EndReleasedJogs(const ButtonStates& buttons) {
  for (JogButton& button : buttons_) {
    if (!button.jogging || !buttons.Up(button.bit) || ShiftFunction(buttons, button.bit)) continue;
    button.armed = false;
    EndJog(button);
  }
}

void JogButtons::HandleStepMode(JogButton& button, bool down, bool up) {
  if (down && !button.held.IsSet())
    StartJog(button, true);
  else if (up && button.held.IsSet())
    EndJog(button);  // also ends an unanswered first press begun in rate jog mode
}

void JogButtons::HandleRateMode(JogButton& button, bool down, bool up) {
  const bool held = button.held.IsSet();
  if (up && held && button.jogging && !button.armed) {
    // Started in step jog mode: a started jog always ends, and is not taken as a tap.
    EndJog(button);
  } else if (down && !held && !button.armed) {
    button.held.PressEdge(true);  // the first press of a double press: timed, nothing sent
  } else if (up && held && !button.armed) {
    if (IsShortHold(*button.held.ReleaseEdge(true))) {
      button.armed = true;
      button.armWindow->Restart();
    }
  } else if (down && !held && button.armed) {
    StartJog(button, false);
  } else if (up && held && button.armed) {
    button.armed = false;
    EndJog(button);
  }
}

void JogButtons::StartJog(JogButton& button, bool stepJogMode) {
  if (!memory_.saved) {
    if (LedLit(14))
      memory_.led14 = true;
    else if (LedLit(15))
      memory_.led15 = true;
    else if (LedLit(57))
      memory_.led57 = true;
    memory_.saved = true;
  }
  // Every state change comes before the host call that follows from it: a
  // host that runs a message loop inside DoButton must find it done.
  button.held.Set();
  button.jogging = true;
  // The host's jog mode is switched at most once per jog period.
  if (!memory_.switched) {
    if (stepJogMode && !memory_.led15) {
      memory_.switched = true;
      SendButton(205);
    } else if (!stepJogMode && !memory_.led14) {
      memory_.switched = true;
      SendButton(204);
    }
  }
  const JogCodes& codes = kJogCodes[button.bit - kFirstJogBit];
  SendButton(Reversed(button.bit) ? codes.reversedStart : codes.start);
}

void JogButtons::EndJog(JogButton& button) {
  button.held.Clear();
  button.jogging = false;
  SendButton(kJogCodes[button.bit - kFirstJogBit].end);
}

void JogButtons::ExpireArms() {
  for (JogButton& button : buttons_)
    if (button.armWindow->Read() > kArmWindowTicks && !button.held.IsSet()) button.armed = false;
}

void JogButtons::RestoreJogMode(const ButtonStates& buttons) {
  for (const JogButton& button : buttons_)
    if (buttons.Down(button.bit)) HoldTicks12.Restart();
  if (HoldTicks12.Read() != kRestoreAfterTicks) return;
  const JogModeMemory noted = memory_;
  memory_ = JogModeMemory{};
  if (noted.led14)
    SendButton(204);
  else if (noted.led15)
    SendButton(205);
  else if (noted.led57)
    SendButton(327);
}

}  // namespace quenta
