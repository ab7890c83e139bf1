// The control logic: one operation per poll that turns the decoded button
// states into host calls, running every handler in a fixed order.
#pragma once

#include <cstdint>

#include "device/reports.h"

namespace quenta {

class ControlLogic {
 public:
  void RunPoll(const ButtonStates& buttons);
  // The class of the jog step or rate in force, shown by the pendant.
  std::int32_t JogIndicator() const { return jogIndicator_; }

 private:
  std::int32_t jogIndicator_ = 0;
};

}  // namespace quenta
