#include "plugin/hold_ticks.h"

namespace quenta {

TickCounter HoldTicks1, HoldTicks2, HoldTicks3, HoldTicks4, HoldTicks5,
    HoldTicks6, HoldTicks7, HoldTicks8, HoldTicks9, HoldTicks10, HoldTicks11,
    HoldTicks12, HoldTicks13;

namespace {
TickCounter* const kAll[] = {&HoldTicks1, &HoldTicks2,  &HoldTicks3,  &HoldTicks4,  &HoldTicks5,
                             &HoldTicks6, &HoldTicks7,  &HoldTicks8,  &HoldTicks9,  &HoldTicks10,
                             &HoldTicks11, &HoldTicks12, &HoldTicks13};
}

void TickCounter::Advance() {
  // A compare-exchange loop, so a reset by the poll on another thread is never lost.
  std::int32_t current = value_.load(std::memory_order_relaxed);
  std::int32_t next;
  do {
    next = (current > 1000 ? kInitial : current) + 1;
  } while (!value_.compare_exchange_weak(current, next, std::memory_order_relaxed));
}

void AdvanceHoldTicks() {
  for (TickCounter* counter : kAll) counter->Advance();
}

void ResetHoldTicks() {
  for (TickCounter* counter : kAll) counter->value_.store(TickCounter::kInitial, std::memory_order_relaxed);
}

}  // namespace quenta
