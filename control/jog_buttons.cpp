#include "control/jog_buttons.h"


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

// With Shift, bits 16 and 17 are function keys: neither a press nor a release of a jog.
bool ShiftFunction(const ButtonStates& buttons, int bit) { return bit >= kFirstShiftFunctionBit && buttons.Shift(); }
}  // namespace

JogButtons::JogButtons(HostPort& host, const PendantSettings& settings, HoldTicks& ticks)
    : host_(host),
      settings_(settings),
      idleTimer_(ticks[12]),
      buttons_{{{10, ticks[2], ticks[3]},
                {11, ticks[2], ticks[4]},
                {12, ticks[2], ticks[5]},
                {13, ticks[2], ticks[6]},
                {14, ticks[2], ticks[7]},
                {15, ticks[2], ticks[8]},
                {16, ticks[2], ticks[9]},
                {17, ticks[2], ticks[10]}}} {}

bool JogButtons::Reversed(int bit) const {
  switch ((bit - kFirstJogBit) / 2) {
    case 0: return settings_.Xreverse;
    case 1: return settings_.Yreverse;
    case 2: return settings_.Zreverse;
    default: return false;
  }
}

void JogButtons::RunButton(int index, const ButtonStates& buttons, bool stepJogMode, bool zeroSelectionArmed) {
  JogButton& button = buttons_[static_cast<std::size_t>(index)];
  const bool shiftFunction = ShiftFunction(buttons, button.bit);
  const bool up = buttons.Up(button.bit) && !shiftFunction;
  if (button.waitForRelease) {
    if (!up) return;
    button.waitForRelease = false;
  }
  const bool down = buttons.Down(button.bit) && !shiftFunction;
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
// after each call only what is still due goes out (see generation.h): a
// release acted on meanwhile ends this start, a new press begins it anew.
void JogButtons::StartJog(JogButton& button, bool stepJogMode) {
  button.held.Set();
  button.starting = true;
  const Generation::Ticket start = button.starts.Next();
  const auto due = [&button, start] { return button.starting && button.starts.Current(start); };
  if (!memory_.saved) NoteJogModeLeds();
  // The host's jog mode is switched at most once per jog period.
  if (!memory_.switched && (stepJogMode ? !memory_.led15 : !memory_.led14)) {
    memory_.switched = true;
    host_.DoButton(stepJogMode ? 205 : 204);
    if (!due()) return;
  }
  button.starting = false;
  if (!button.jogging) ++jogging_;
  button.jogging = true;
  const JogCodes& codes = kJogCodes[button.bit - kFirstJogBit];
  host_.DoButton(Reversed(button.bit) ? codes.reversedStart : codes.start);
}

// The first lit of LEDs 14, 15 and 57, asked in that order.
void JogButtons::NoteJogModeLeds() {
  int lit = 0;
  for (int led : {14, 15, 57}) {
    if (host_.GetLED(led)) {
      lit = led;
      break;
    }
  }
  memory_.saved = true;
  memory_.led14 = lit == 14;
  memory_.led15 = lit == 15;
  memory_.led57 = lit == 57;
}

void JogButtons::EndJog(JogButton& button) {
  button.held.Clear();
  button.starting = false;
  if (button.jogging) --jogging_;
  button.jogging = false;
  host_.DoButton(kJogCodes[button.bit - kFirstJogBit].end);
}

void JogButtons::EndRunningJogs(bool untilReleased) {
  for (JogButton& button : buttons_) {
    if (!button.Active()) continue;
    button.armed = false;
    button.waitForRelease = untilReleased;
    if (button.jogging) {
      EndJog(button);
    } else {
      button.starting = false;
      button.held.Clear();
    }
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
    if (buttons.Down(button.bit)) idleTimer_.Restart();
  if (idleTimer_.Read() != kRestoreAfterTicks) return;
  const JogModeMemory noted = memory_;
  memory_ = JogModeMemory{};
  if (noted.led14)
    host_.DoButton(204);
  else if (noted.led15)
    host_.DoButton(205);
  else if (noted.led57)
    host_.DoButton(327);
}

}  // namespace quenta
