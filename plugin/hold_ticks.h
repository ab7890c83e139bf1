// The thirteen tick counters the host's Update advances and the control logic
// resets at a press to time holds. The host's threading is unknown, so each
// counter is a relaxed atomic: Update may run on another thread without a lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace quenta {

class TickCounter {
 public:
  std::int32_t Read() const { return value_.load(std::memory_order_relaxed); }
  void Restart() { value_.store(0, std::memory_order_relaxed); }
  void Set(std::int32_t v) { value_.store(v, std::memory_order_relaxed); }
  // One Update: a value above 1000 falls back to 100, then one is added.
  void Advance();

 private:
  std::atomic<std::int32_t> value_{kInitial};
  static constexpr std::int32_t kInitial = 100;
  friend void ResetHoldTicks();
};

extern TickCounter HoldTicks1, HoldTicks2, HoldTicks3, HoldTicks4, HoldTicks5,
    HoldTicks6, HoldTicks7, HoldTicks8, HoldTicks9, HoldTicks10, HoldTicks11,
    HoldTicks12, HoldTicks13;

// The host's Update: advances all thirteen counters in order.
void AdvanceHoldTicks();
// Puts every counter back to its value at load (a fresh module in the simulator).
void ResetHoldTicks();

}  // namespace quenta
