// The zero button and its axis chords, the four DRO scale buttons, and the
// scale-reset button and its chords.
#pragma once

#include <array>
#include <cstdint>

#include "control/edges.h"

namespace quenta {

// Two-step selection: a tap of its button arms it, and the first member
// (axis or DRO pair) whose buttons go down then acts, once per arming.
// Letting go of that member ends it; an armed selection left alone lapses.
template <std::size_t Members>
class ArmedSelection {
 public:
  ArmedSelection(TickCounter& lapseTimer, std::int32_t lapseAfterTicks)
      : held_(HoldTicks2), lapseTimer_(lapseTimer), lapseAfterTicks_(lapseAfterTicks) {}

  bool Armed() const { return armed_; }

  void ButtonEdge(bool buttonDown) {
    if (held_.PressEdge(buttonDown && !armed_)) return;
    const std::optional<std::int32_t> ticks = held_.ReleaseEdge(!buttonDown && !armed_);
    if (!ticks) return;
    done_.fill(false);
    if (IsShortHold(*ticks)) {
      armed_ = true;
      lapseTimer_.Restart();
    }
  }

  // The chord of member m. allows() asks the host whether the member may act
  // now, after the selection already counts it as acting, so a timer message
  // inside the question sees the selection taken; act() performs the action.
  // A refusal gives the selection back, to be tried again at the next poll.
  template <typename Allows, typename Act>
  void Chord(std::size_t m, bool anyDown, Allows allows, Act act) {
    if (anyDown && !held_.IsSet() && armed_) {
      held_.Set();
      done_[m] = true;
      const unsigned attempt = ++attempts_;
      const bool allowed = allows();
      if (attempts_ != attempt) return;
      if (!allowed) {
        held_.Clear();
        done_[m] = false;
        return;
      }
      act();
    } else if (!anyDown && held_.IsSet() && armed_ && done_[m]) {
      armed_ = false;
      held_.Clear();
    }
  }

  void Lapse() {
    if (lapseTimer_.Read() > lapseAfterTicks_ && !held_.IsSet()) armed_ = false;
  }
  // After a gap in the link: the selection, and a press of its button under way, start afresh.
  void Forget() {
    armed_ = false;
    held_.Clear();
    done_.fill(false);
    ++attempts_;
  }

 private:
  bool armed_ = false;
  TimedLatch held_;  // shared by the arming press (timed on the shared HoldTicks2) and the member that acts
  std::array<bool, Members> done_{};
  unsigned attempts_ = 0;  // tells a chord whether the selection was taken anew while the host answered
  TickCounter& lapseTimer_;
  std::int32_t lapseAfterTicks_;
};

// An armed zero selection with no axis lapses after 15 ticks, a scale reset after 7.
constexpr std::int32_t kZeroLapseTicks = 15;
constexpr std::int32_t kScaleResetLapseTicks = 7;

class ZeroSelection {
 public:
  static constexpr int kAxes = 4;

  void RunButton(const ButtonStates& buttons);
  // Axis 0 to 3 (X, Y, Z, A): jog buttons 10/11 to 16/17, zero codes 1008 to 1011.
  void RunChord(int axis, const ButtonStates& buttons);
  void Lapse() { selection_.Lapse(); }
  void Forget() { selection_.Forget(); }
  bool Armed() const { return selection_.Armed(); }

 private:
  ArmedSelection<kAxes> selection_{HoldTicks11, kZeroLapseTicks};
};

class DroScaling {
 public:
  static constexpr int kScaleButtons = 4;
  static constexpr int kPairs = 2;

  // Bits 20 to 23; none steps while a scale reset is armed.
  void RunScaleButton(int index, const ButtonStates& buttons);
  void RunResetButton(const ButtonStates& buttons);
  // Pair 0 (bits 20, 21: DRO 821), then pair 1 (bits 22, 23: DRO 74).
  void RunResetChord(int pair, const ButtonStates& buttons);
  void Lapse() { resetSelection_.Lapse(); }
  void Forget() { resetSelection_.Forget(); }

 private:
  std::array<PressLatch, kScaleButtons> scaleLatches_;
  ArmedSelection<kPairs> resetSelection_{HoldTicks13, kScaleResetLapseTicks};
};

}  // namespace quenta
