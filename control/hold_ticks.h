// The thirteen tick counters HoldTicks1 to HoldTicks13: the host's Update
// advances them and the control logic restarts one at a press to time a
// hold. The host's threading is unknown, so each counter is a relaxed
// atomic: Update may run on another thread without a lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace quenta {

class TickCounter {
 public:
  static constexpr std::int32_t kInitial = 100;

  std::int32_t Read() const { return value_.load(std::memory_order_relaxed); }
  void Restart() { value_.store(0, std::memory_order_relaxed); }
  void Set(std::int32_t v) { value_.store(v, std::memory_order_relaxed); }
  // One Update: a value above 1000 falls back to 100, then one is added.
  void Advance();

 private:
  std::atomic<std::int32_t> value_{kInitial};
};

class HoldTicks {
 public:
  static constexpr int kCounters = 13;

  // HoldTicksN for N = 1 to 13.
  TickCounter& operator[](int number) { return counters_[static_cast<std::size_t>(number - 1)]; }
  // The host's Update: every counter, in order.
  void Advance() {
    for (TickCounter& counter : counters_) counter.Advance();
  }

 private:
  std::array<TickCounter, kCounters> counters_;
};

}  // namespace quenta
