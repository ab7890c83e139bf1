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
  // A member has acted and its buttons are still down.
  bool Acting() const { return armed_ && held_.IsSet(); }

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

  // allows(member) says whether the host lets the member act now; act(member)
  // performs its action, after the selection's state is already updated.
  template <typename Allows, typename Act>
  void Chords(const std::array<bool, Members>& anyDown, Allows allows, Act act) {
    for (std::size_t m = 0; m < Members; ++m) {
      if (anyDown[m] && !held_.IsSet() && armed_) {
        if (allows(m)) {
          held_.Set();
          done_[m] = true;
          act(m);
        }
      } else if (!anyDown[m] && held_.IsSet() && armed_ && done_[m]) {
        armed_ = false;
        held_.Clear();
      }
    }
  }

  void Lapse() {
    if (lapseTimer_.Read() > lapseAfterTicks_ && !held_.IsSet()) armed_ = false;
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
  void Run(const ButtonStates& buttons);
  void Lapse() { selection_.Lapse(); }
  bool Armed() const { return selection_.Armed(); }
  bool ZeroingAxis() const { return selection_.Acting(); }

 private:
  ArmedSelection<4> selection_{HoldTicks11, kZeroLapseTicks};
};

class DroScaling {
 public:
  void Run(const ButtonStates& buttons);
  void Lapse() { resetSelection_.Lapse(); }

 private:
  void RunScaleButtons(const ButtonStates& buttons);

  std::array<PressLatch, 4> scaleLatches_;
  ArmedSelection<2> resetSelection_{HoldTicks13, kScaleResetLapseTicks};
};

}  // namespace quenta
