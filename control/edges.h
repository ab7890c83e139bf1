// The edge conventions every pendant handler follows. The pendant reports only
// levels, so each handler keeps its own latch and acts once per press.
#pragma once

#include <cstdint>
#include <optional>

#include "control/button_states.h"
#include "control/hold_ticks.h"

namespace quenta {

inline bool WithShift(const ButtonStates& buttons, int bit) { return buttons.Down(bit) && buttons.Shift(); }
inline bool WithoutShift(const ButtonStates& buttons, int bit) { return buttons.Down(bit) && !buttons.Shift(); }

// A press latch: a handler acts once per press. A chord counts as held only
// while all its keys are down, so releasing any one of them re-arms it.
class PressLatch {
 public:
  bool Press(bool buttonsHeld) {
    if (!buttonsHeld) {
      set_ = false;
      return false;
    }
    if (set_) return false;
    set_ = true;
    return true;
  }

 private:
  bool set_ = false;
};

// A press latch whose action also needs the host's leave (an LED lit or off).
// A refusal only delays the action to the first later poll at which the host
// allows it while the buttons are still held. Nothing acts while the host
// answers (see generation.h), so the answer is current when it acts.
class GatedLatch {
 public:
  template <typename HostAllows, typename Act>
  void Press(bool buttonsHeld, HostAllows hostAllows, Act act) {
    if (!buttonsHeld) {
      set_ = false;
      return;
    }
    if (set_ || !hostAllows()) return;
    set_ = true;
    act();
  }

 private:
  bool set_ = false;
};

// A press timed in ticks (Update calls, not polls): the press edge restarts
// the counter, the release edge reads it. Counters shared between handlers
// make the most recent press among them the one that is timed.
class TimedLatch {
 public:
  explicit TimedLatch(TickCounter& timer) : timer_(&timer) {}

  bool IsSet() const { return set_; }
  // For the presses of a latch that are not timed (a jog's second press, a chord).
  void Set() { set_ = true; }
  void Clear() { set_ = false; }

  // Restarts the timer when the condition holds and the latch is clear.
  bool PressEdge(bool pressCondition) {
    if (!pressCondition || set_) return false;
    timer_->Restart();
    set_ = true;
    return true;
  }
  // The hold in ticks when the condition holds and the latch is set.
  std::optional<std::int32_t> ReleaseEdge(bool releaseCondition) {
    if (!releaseCondition || !set_) return std::nullopt;
    set_ = false;
    return timer_->Read();
  }

 private:
  TickCounter* timer_;
  bool set_ = false;
};

// A hold of 0 to 6 ticks is a tap.
constexpr std::int32_t kShortHoldTicks = 7;
inline bool IsShortHold(std::int32_t ticks) { return ticks < kShortHoldTicks; }

}  // namespace quenta
