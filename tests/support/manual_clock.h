// The probe's clock in the tests: time passes only when the test or the
// probe's own sleeps move it, so rates are measured at known times.
#pragma once

#include "probe/probe_clock.h"

namespace quenta::probe {

class ManualClock : public ProbeClock {
 public:
  std::int64_t NowMs() override { return nowMs; }
  void Sleep(unsigned ms) override { nowMs += ms; }
  void Advance(std::int64_t ms) { nowMs += ms; }

  std::int64_t nowMs = 1000;
};

}  // namespace quenta::probe
