#include "control/zero_and_scale.h"

#include "control/host_calls.h"

namespace quenta {

namespace {

constexpr int kZeroButton = 24;
constexpr int kScaleResetButton = 25;
constexpr int kFirstScaleButton = 20;
constexpr double kScaleMax = 250.0;
constexpr double kScaleMin = 1.0;
constexpr double kScaleReset = 100.0;

struct ScaleStep {
  int dro;
  bool up;
};
// Bits 20 to 23.
constexpr ScaleStep kScaleSteps[] = {{821, true}, {821, false}, {74, true}, {74, false}};
constexpr int kResetDros[] = {821, 74};

// Strict comparisons on the unrounded product: exactly 250 is not stepped up,
// 0 or below is not stepped down, and NaN fails both tests.
void Scale(const ScaleStep& step) {
  const double v = ReadDro(step.dro);
  if (step.up && v < kScaleMax) {
    const double next = v * 1.1;
    WriteDro(step.dro, next > kScaleMax ? kScaleMax : next);
  } else if (!step.up && v > 0.0) {
    const double next = v * 0.9;
    WriteDro(step.dro, next < kScaleMin ? kScaleMin : next);
  }
}

bool EitherDown(const ButtonStates& buttons, int firstBit) {
  return buttons.Down(firstBit) || buttons.Down(firstBit + 1);
}

}  // namespace

void ZeroSelection::Run(const ButtonStates& buttons) {
  selection_.ButtonEdge(buttons.Down(kZeroButton));
  // Axes X, Y, Z, A: jog buttons 10/11, 12/13, 14/15, 16/17; zero codes 1008 to 1011.
  const std::array<bool, 4> axisDown = {EitherDown(buttons, 10), EitherDown(buttons, 12), EitherDown(buttons, 14),
                                        EitherDown(buttons, 16)};
  selection_.Chords(
      axisDown, [](std::size_t) { return true; },
      [](std::size_t axis) { SendButton(1008 + static_cast<std::int32_t>(axis)); });
}

void DroScaling::Run(const ButtonStates& buttons) {
  if (!resetSelection_.Armed()) RunScaleButtons(buttons);
  resetSelection_.ButtonEdge(buttons.Down(kScaleResetButton));
  const std::array<bool, 2> pairDown = {EitherDown(buttons, kFirstScaleButton),
                                        EitherDown(buttons, kFirstScaleButton + 2)};
  // While either LED is lit the reset waits, and is tried again at every poll.
  resetSelection_.Chords(
      pairDown, [](std::size_t) { return !LedLit(804) && !LedLit(805); },
      [](std::size_t pair) { WriteDro(kResetDros[pair], kScaleReset); });
}

void DroScaling::RunScaleButtons(const ButtonStates& buttons) {
  for (int i = 0; i < 4; ++i) {
    // The latch is set by every press, also one that sends nothing: no auto-repeat.
    if (scaleLatches_[i].Press(buttons.Down(kFirstScaleButton + i))) Scale(kScaleSteps[i]);
  }
}

}  // namespace quenta
