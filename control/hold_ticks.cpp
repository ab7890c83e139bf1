#include "control/hold_ticks.h"

namespace quenta {

void TickCounter::Advance() {
  // A compare-exchange loop, so a restart by the poll on another thread is never lost.
  std::int32_t current = value_.load(std::memory_order_relaxed);
  std::int32_t next;
  do {
    next = (current > 1000 ? kInitial : current) + 1;
  } while (!value_.compare_exchange_weak(current, next, std::memory_order_relaxed));
}

}  // namespace quenta
