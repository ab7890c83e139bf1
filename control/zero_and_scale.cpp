#include "control/zero_and_scale.h"

namespace quenta {

namespace {

constexpr int kZeroButton = 24;
constexpr int kScaleResetButton = 25;
constexpr int kFirstScaleButton = 20;
constexpr int kFirstJogBit = 10;
constexpr std::int32_t kFirstZeroCode = 1008;
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

bool EitherDown(const ButtonStates& buttons, int firstBit) {
  return buttons.Down(firstBit) || buttons.Down(firstBit + 1);
}

}  // namespace

// Strict comparisons on the unrounded product: exactly 250 is not stepped up,
// 0 or below is not stepped down, and NaN fails both tests.
void DroScaling::Scale(int index) {
  const ScaleStep& step = kScaleSteps[index];
  const double v = host_.GetDRO(step.dro);
  if (step.up && v < kScaleMax) {
    const double next = v * 1.1;
    host_.SetDRO(step.dro, next > kScaleMax ? kScaleMax : next);
  } else if (!step.up && v > 0.0) {
    const double next = v * 0.9;
    host_.SetDRO(step.dro, next < kScaleMin ? kScaleMin : next);
  }
}

void ZeroSelection::RunButton(const ButtonStates& buttons) { selection_.ButtonEdge(buttons.Down(kZeroButton)); }

void ZeroSelection::RunChord(int axis, const ButtonStates& buttons) {
  selection_.Chord(
      static_cast<std::size_t>(axis), EitherDown(buttons, kFirstJogBit + 2 * axis), [] { return true; },
      [this, axis] { host_.DoButton(kFirstZeroCode + axis); });
}

void DroScaling::RunScaleButton(int index, const ButtonStates& buttons) {
  if (resetSelection_.Armed()) return;
  // The latch is set by every press, also one that sends nothing: no auto-repeat.
  if (scaleLatches_[static_cast<std::size_t>(index)].Press(buttons.Down(kFirstScaleButton + index)))
    Scale(index);
}

void DroScaling::RunResetButton(const ButtonStates& buttons) {
  resetSelection_.ButtonEdge(buttons.Down(kScaleResetButton));
}

// While either LED is lit the reset waits, and is tried again at every poll.
void DroScaling::RunResetChord(int pair, const ButtonStates& buttons) {
  resetSelection_.Chord(
      static_cast<std::size_t>(pair), EitherDown(buttons, kFirstScaleButton + 2 * pair),
      [this] { return !host_.GetLED(804) && !host_.GetLED(805); },
      [this, pair] { host_.SetDRO(kResetDros[pair], kScaleReset); });
}

}  // namespace quenta
