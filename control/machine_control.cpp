#include "control/machine_control.h"


namespace quenta {

namespace {

constexpr int kEStopButton = 9;
constexpr int kCycleStartButton = 26;
constexpr int kScreenButton = 27;
constexpr int kSpindleButton = 28;
constexpr int kEStopLed = 800;

// ScreenList positions 0 to 6 to the host's screen codes.
constexpr std::int32_t kScreenCodes[] = {0, 1, 2, 3, 7, 6, 5};
constexpr std::int32_t kScreenPositions = sizeof kScreenCodes / sizeof kScreenCodes[0];

// A quick tap toggles the TAB screen, a longer press rotates, a very long one is dropped.
constexpr std::int32_t kRotateFromTicks = 3;
constexpr std::int32_t kIgnoreFromTicks = 20;

std::int16_t ScreenSetting(const PendantSettings& settings, int slot) {
  switch (slot) {
    case 1: return settings.ScreenSel1;
    case 2: return settings.ScreenSel2;
    default: return settings.ScreenSel3;
  }
}

}  // namespace

// While LED 800 is lit the E-stop needs the Shift chord, so a held button cannot reset it.
void MachineControl::RunEStop(const ButtonStates& buttons) {
  eStop_.Press(
      WithoutShift(buttons, kEStopButton), [this] { return !host_.GetLED(kEStopLed); },
      [this] { host_.DoButton(1021); });
}

void MachineControl::RunEStopChord(const ButtonStates& buttons) {
  eStopChord_.Press(
      WithShift(buttons, kEStopButton), [this] { return host_.GetLED(kEStopLed); }, [this] { host_.DoButton(1021); });
}

void MachineControl::RunSpindle(const ButtonStates& buttons) {
  if (spindle_.Press(WithShift(buttons, kSpindleButton))) host_.DoButton(110);
}

void MachineControl::RunCycleStart(const ButtonStates& buttons) {
  if (!cycleStart_.Press(WithShift(buttons, kCycleStartButton))) return;
  skip1002Once_ = true;
  host_.DoButton(host_.GetLED(804) ? 1001 : 1000);
}

void MachineControl::RunCycleStop(const ButtonStates& buttons) {
  if (!cycleStop_.Press(WithShift(buttons, kScreenButton))) return;
  const bool skip1002 = skip1002Once_;
  skip1002Once_ = false;
  host_.DoButton(1003);
  if (!skip1002) host_.DoButton(1002);
}

void MachineControl::RunScreenButton(const ButtonStates& buttons) {
  if (screenButton_.PressEdge(WithoutShift(buttons, kScreenButton))) return;
  const std::optional<std::int32_t> held = screenButton_.ReleaseEdge(buttons.Up(kScreenButton));
  if (!held) return;
  if (*held < kRotateFromTicks)
    host_.DoButton(323);
  else if (*held < kIgnoreFromTicks)
    RotateScreen();
}

// Code 1021 toggles the host's E-stop: sent only while LED 800 is off, so a
// machine already stopped stays stopped.
void MachineControl::StopForLostPendant() {
  if (!host_.GetLED(kEStopLed)) host_.DoButton(1021);
}

void MachineControl::RotateScreen() {
  for (int slot = 1; slot <= 3; ++slot) {
    const std::int16_t setting = ScreenSetting(settings_, slot);
    if (setting >= 0 && setting < kScreenPositions) screenCode_[slot - 1] = kScreenCodes[setting];
  }
  // The current slot is never sent again by itself: only the other two are tried.
  for (int step = 1; step <= 2; ++step) {
    const int slot = (screenSlot_ - 1 + step) % 3 + 1;
    if (ScreenSetting(settings_, slot) != 0) {
      screenSlot_ = slot;
      host_.DoButton(screenCode_[slot - 1]);
      return;
    }
  }
}

}  // namespace quenta
