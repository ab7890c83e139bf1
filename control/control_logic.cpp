#include "control/control_logic.h"

namespace quenta {

namespace {

// The handlers of one report, in the fixed order. Each sees only its report's
// buttons and the effects of those before it, so the order is part of the
// behaviour; each button's handler is one step of its own.
enum Step : int {
  kEStop,
  kEStopChord,
  kSpindle,
  kCycleStart,
  kCycleStop,
  kScreenButton,
  kFirstJogButton,
  kFirstFunctionKey = kFirstJogButton + JogButtons::kButtons,
  kZeroButton = kFirstFunctionKey + FunctionKeys::kKeys,
  kFirstZeroChord,
  kFirstScaleButton = kFirstZeroChord + ZeroSelection::kAxes,
  kScaleResetButton = kFirstScaleButton + DroScaling::kScaleButtons,
  kFirstScaleResetChord,
  kExpireArms = kFirstScaleResetChord + DroScaling::kPairs,
  kZeroLapse,
  kScaleResetLapse,
  kRestoreJogMode,
  kClassify,
  kJogRateButton,
  kJogStepButton,
  kSteps,
};

bool InRange(int step, int first, int end) { return step >= first && step < end; }

}  // namespace

ControlLogic::ControlLogic(HostPort& host, const PendantSettings& settings, HoldTicks& ticks)
    : host_(host),
      machine_(host, settings, ticks),
      jog_(host, settings, ticks),
      functionKeys_(host, settings, ticks),
      zero_(host, ticks),
      scaling_(host, ticks),
      jogSelect_(host),
      nextStep_(kSteps) {}

void ControlLogic::Act(const ButtonStates& buttons) {
  FinishReport();
  buttons_ = buttons;
  nextStep_ = 0;
  current_ = reports_.Next();
  RunSteps(current_);
}

void ControlLogic::FinishReport() { RunSteps(current_); }

void ControlLogic::RunSteps(Generation::Ticket report) {
  while (reports_.Current(report) && nextStep_ < kSteps) {
    const ButtonStates buttons = buttons_;
    RunStep(nextStep_++, buttons);
    host_.HandlerDone();
  }
}

void ControlLogic::ForgetPendingPresses() {
  machine_.ForgetPendingPresses();
  jog_.ForgetPendingPresses();
  functionKeys_.ForgetPendingPresses();
  zero_.Forget();
  scaling_.Forget();
}

PendantDisplay ControlLogic::Display() {
  PendantDisplay display;
  display.led800 = host_.GetLED(800);
  display.led804 = host_.GetLED(804);
  display.led805 = host_.GetLED(805);
  display.jogIndicator = jogSelect_.JogIndicator();
  return display;
}

void ControlLogic::RunStep(int step, const ButtonStates& buttons) {
  if (InRange(step, kFirstJogButton, kFirstFunctionKey))
    return jog_.RunButton(step - kFirstJogButton, buttons, jogSelect_.StepJogMode(), zero_.Armed());
  if (InRange(step, kFirstFunctionKey, kZeroButton)) return functionKeys_.RunKey(step - kFirstFunctionKey, buttons);
  if (InRange(step, kFirstZeroChord, kFirstScaleButton)) return zero_.RunChord(step - kFirstZeroChord, buttons);
  if (InRange(step, kFirstScaleButton, kScaleResetButton))
    return scaling_.RunScaleButton(step - kFirstScaleButton, buttons);
  if (InRange(step, kFirstScaleResetChord, kExpireArms))
    return scaling_.RunResetChord(step - kFirstScaleResetChord, buttons);
  switch (step) {
    case kEStop: return machine_.RunEStop(buttons);
    case kEStopChord: return machine_.RunEStopChord(buttons);
    case kSpindle: return machine_.RunSpindle(buttons);
    case kCycleStart: return machine_.RunCycleStart(buttons);
    case kCycleStop: return machine_.RunCycleStop(buttons);
    case kScreenButton: return machine_.RunScreenButton(buttons);
    case kZeroButton: return zero_.RunButton(buttons);
    case kScaleResetButton: return scaling_.RunResetButton(buttons);
    case kExpireArms: return jog_.ExpireArms();
    case kZeroLapse: return zero_.Lapse();
    case kScaleResetLapse: return scaling_.Lapse();
    case kRestoreJogMode: return jog_.RestoreJogMode(buttons);
    case kClassify: return jogSelect_.Classify();
    case kJogRateButton: return jogSelect_.RunRateButton(buttons);
    case kJogStepButton: return jogSelect_.RunStepButton(buttons);
    default: return;
  }
}

}  // namespace quenta
