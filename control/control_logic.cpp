#include "control/control_logic.h"

#include "plugin/module_state.h"

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

ControlLogic::ControlLogic() : nextStep_(kSteps) {}

void ControlLogic::Act(const ButtonStates& buttons) {
  FinishReport();
  buttons_ = buttons;
  nextStep_ = 0;
  RunSteps(++reports_);
}

void ControlLogic::FinishReport() { RunSteps(reports_); }

void ControlLogic::RunSteps(unsigned report) {
  while (reports_ == report && nextStep_ < kSteps && !HostSilenced) {
    const ButtonStates buttons = buttons_;
    RunStep(nextStep_++, buttons);
  }
}

void ControlLogic::ForgetPendingPresses() {
  jog_.ForgetPendingPresses();
  zero_.Forget();
  scaling_.Forget();
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
