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

void JogButtons::RunButton(int index, const ButtonStates& buttons, bool stepJogMode, bool zeroSelectionArmed) {
  JogButton& button = buttons_[static_cast<std::size_t>(index)];
  const bool shiftFunction = ShiftFunction(buttons, button.bit);
  const bool down = buttons.Down(button.bit) && !shiftFunction;
  const bool up = buttons.Up(button.bit) && !shiftFunction;
  if (zeroSelectionArmed) {
    // The jog buttons pick the axis to zero instead of jogging, but an axis
    // let go must not run on until the selection ends.
    if (up && button.held.IsSet() && button.Active()) {
      button.armed = false;
      EndJog(button);
    }
    return;
  }
  if (stepJogMode)
    HandleStepMode(button, down, up);
  else
    HandleRateMode(button, down, up);
}

void JogButtons::HandleStepMode(JogButton& button, bool down, bool up) {
  if (down && !button.held.IsSet())
    StartJog(button, true);
  else if (up && button.held.IsSet())
    EndJog(button);  // also ends an unanswered first press begun in rate jog mode
}

void JogButtons::HandleRateMode(JogButton& button, bool down, bool up) {
  const bool held = button.held.IsSet();
  if (up && held && button.Active() && !button.armed) {
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

// Every state change comes before the host call that follows from it, and
// after each call only what is still due goes out: a host whose call runs a
// message loop may meanwhile let the plug-in act on newer reports, which can
// end this start (its release) or begin it anew (a new press).
void JogButtons::StartJog(JogButton& button, bool stepJogMode) {
  button.held.Set();
  button.starting = true;
  const unsigned start = ++button.starts;
  const auto due = [&button, start] { return !HostSilenced && button.starting && button.starts == start; };
  if (!memory_.saved) NoteJogModeLed(button, start);
  if (!due()) return;
  // The host's jog mode is switched at most once per jog period.
  if (!memory_.switched && (stepJogMode ? !memory_.led15 : !memory_.led14)) {
    memory_.switched = true;
    SendButton(stepJogMode ? 205 : 204);
    if (!due()) return;
  }
  button.starting = false;
  button.jogging = true;
  const JogCodes& codes = kJogCodes[button.bit - kFirstJogBit];
  SendButton(Reversed(button.bit) ? codes.reversedStart : codes.start);
}

// The first lit of LEDs 14, 15 and 57, asked in that order. Another start
// that noted them while a question was under way keeps its note.
void JogButtons::NoteJogModeLed(const JogButton& button, unsigned start) {
  int lit = 0;
  for (int led : {14, 15, 57}) {
    const bool on = LedLit(led);
    if (!button.starting || button.starts != start) return;
    if (on) {
      lit = led;
      break;
    }
  }
  if (memory_.saved) return;
  memory_.saved = true;
  memory_.led14 = lit == 14;
  memory_.led15 = lit == 15;
  memory_.led57 = lit == 57;
}

void JogButtons::EndJog(JogButton& button) {
  button.held.Clear();
  button.starting = false;
  button.jogging = false;
  SendButton(kJogCodes[button.bit - kFirstJogBit].end);
}

void JogButtons::EndRunningJogs() {
  for (JogButton& button : buttons_) {
    if (!button.jogging) continue;
    button.armed = false;
    EndJog(button);
  }
}

void JogButtons::ForgetPendingPresses() {
  for (JogButton& button : buttons_) {
    if (button.Active()) continue;
    button.held.Clear();
    button.armed = false;
  }
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
