// Time as the probe sees it: the console program's real clock, a manual one
// in the tests.
#pragma once

#include <cstdint>

namespace quenta::probe {

class ProbeClock {
 public:
  virtual ~ProbeClock() = default;
  virtual std::int64_t NowMs() = 0;
  // The probe never waits otherwise, so a manual clock decides how long everything takes.
  virtual void Sleep(unsigned ms) = 0;
};

}  // namespace quenta::probe
