// The zero button and its axis chords, the four DRO scale buttons, and the
// scale-reset button and its chords.
#pragma once

#include <array>
#include <cstdint>

#include "control/edges.h"
#include "control/host_port.h"

namespace quenta {

// Two-step selection: a tap of its button arms it, and the first member
// (axis or DRO pair) whose buttons go down then acts, once per arming.
// Letting go of that member ends it; an armed selection left alone lapses.
template <std::size_t Members>
class ArmedSelection {
 public:
  ArmedSelection(TickCounter& firstPress, TickCounter& lapseTimer, std::int32_t lapseAfterTicks)
      : held_(firstPress), lapseTimer_(lapseTimer), lapseAfterTicks_(lapseAfterTicks) {}

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
  // now; act() performs the action. A refusal leaves the selection armed, to
  // be tried again at the next poll. The selection counts the member as
  // acting before act() calls the host.
  template <typename Allows, typename Act>
  void Chord(std::size_t m, bool anyDown, Allows allows, Act act) {
    if (anyDown && !held_.IsSet() && armed_) {
      if (!allows()) return;
      held_.Set();
      done_[m] = true;
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
  }

 private:
  bool armed_ = false;
  TimedLatch held_;  // shared by the arming press (timed on the shared HoldTicks2) and the member that acts
  std::array<bool, Members> done_{};
  TickCounter& lapseTimer_;
  std::int32_t lapseAfterTicks_;
};

// An armed zero selection with no axis lapses after 15 ticks, a scale reset after 7.
constexpr std::int32_t kZeroLapseTicks = 15;
constexpr std::int32_t kScaleResetLapseTicks = 7;

class ZeroSelection {
 public:
  static constexpr int kAxes = 4;

  ZeroSelection(HostPort& host, HoldTicks& ticks) : host_(host), selection_{ticks[2], ticks[11], kZeroLapseTicks} {}

  void RunButton(const ButtonStates& buttons);
  // Axis 0 to 3 (X, Y, Z, A): jog buttons 10/11 to 16/17, zero codes 1008 to 1011.
  void RunChord(int axis, const ButtonStates& buttons);
  void Lapse() { selection_.Lapse(); }
  void Forget() { selection_.Forget(); }
  bool Armed() const { return selection_.Armed(); }

 private:
  HostPort& host_;
  ArmedSelection<kAxes> selection_;
};

class DroScaling {
 public:
  static constexpr int kScaleButtons = 4;
  static constexpr int kPairs = 2;

  DroScaling(HostPort& host, HoldTicks& ticks)
      : host_(host), resetSelection_{ticks[2], ticks[13], kScaleResetLapseTicks} {}

  // Bits 20 to 23; none steps while a scale reset is armed.
  void RunScaleButton(int index, const ButtonStates& buttons);
  void RunResetButton(const ButtonStates& buttons);
  // Pair 0 (bits 20, 21: DRO 821), then pair 1 (bits 22, 23: DRO 74).
  void RunResetChord(int pair, const ButtonStates& buttons);
  void Lapse() { resetSelection_.Lapse(); }
  void Forget() { resetSelection_.Forget(); }

 private:
  void Scale(int index);

  HostPort& host_;
  std::array<PressLatch, kScaleButtons> scaleLatches_;
  ArmedSelection<kPairs> resetSelection_;
};

}  // namespace quenta
