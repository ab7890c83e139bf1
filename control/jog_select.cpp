#include "control/jog_select.h"


namespace quenta {

namespace {

constexpr int kJogRateButton = 18;
constexpr int kJogStepButton = 19;
constexpr int kJogRateDro = 3;
constexpr int kJogStepDro = 828;

// Every comparison is exact on doubles and strict, so a value off the cycle
// (NaN included) keeps the indicator and is stepped only by the rules that match.
std::int32_t RateClass(double v, std::int32_t previous) {
  if (v == 5.0) return 1;
  if (v == 50.0) return 2;
  if (v == 100.0) return 3;
  if (v < 5.0) return 11;
  if (v < 100.0) return 12;
  return previous;
}

std::int32_t StepClass(double v, std::int32_t previous) {
  if (v == 0.001) return 4;
  if (v == 0.01) return 5;
  if (v == 0.1) return 6;
  if (v < 0.001) return 14;
  if (v > 0.001 && v < 0.1) return 15;
  if (v > 0.1) return 16;
  return previous;
}

}  // namespace

void JogSelect::AdvanceJogRate() {
  const double v = host_.GetDRO(kJogRateDro);
  if (v < 5.0)
    host_.SetDRO(kJogRateDro, 5.0);
  else if (v == 5.0)
    host_.SetDRO(kJogRateDro, 50.0);
  else if (v < 100.0 && v != 50.0)
    host_.SetDRO(kJogRateDro, 50.0);
  else if (v == 50.0)
    host_.SetDRO(kJogRateDro, 100.0);
  else if (v == 100.0)
    host_.SetDRO(kJogRateDro, 5.0);
}

void JogSelect::AdvanceJogStep() {
  const double v = host_.GetDRO(kJogStepDro);
  if (v < 0.001)
    host_.SetDRO(kJogStepDro, 0.001);
  else if (v == 0.001)
    host_.SetDRO(kJogStepDro, 0.01);
  else if (v < 0.1 && v != 0.01)
    host_.SetDRO(kJogStepDro, 0.01);
  else if (v == 0.01)
    host_.SetDRO(kJogStepDro, 0.1);
  else if (v == 0.1)
    host_.SetDRO(kJogStepDro, 0.001);
  else if (v > 0.1)
    host_.SetDRO(kJogStepDro, 0.1);
}

void JogSelect::Classify() {
  const double v = host_.GetDRO(stepJogMode_ ? kJogStepDro : kJogRateDro);
  jogIndicator_ = stepJogMode_ ? StepClass(v, jogIndicator_) : RateClass(v, jogIndicator_);
}

// The first press only switches the mode; the value moves from the second on.
void JogSelect::RunRateButton(const ButtonStates& buttons) {
  if (!rateButton_.Press(buttons.Down(kJogRateButton))) return;
  if (stepJogMode_)
    stepJogMode_ = false;
  else
    AdvanceJogRate();
}

void JogSelect::RunStepButton(const ButtonStates& buttons) {
  if (!stepButton_.Press(buttons.Down(kJogStepButton))) return;
  if (!stepJogMode_)
    stepJogMode_ = true;
  else
    AdvanceJogStep();
}

}  // namespace quenta
