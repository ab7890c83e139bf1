// The control logic: one operation per poll that turns the decoded button
// states into host calls, running every handler in a fixed order.
#pragma once

#include <cstdint>

#include "control/function_keys.h"
#include "control/jog_buttons.h"
#include "control/jog_select.h"
#include "control/machine_control.h"
#include "control/zero_and_scale.h"
#include "device/reports.h"

namespace quenta {

// Holds all the state of the handlers: a fresh object is a freshly loaded module.
class ControlLogic {
 public:
  void RunPoll(const ButtonStates& buttons);
  // The class of the jog step or rate in force, shown by the pendant.
  std::int32_t JogIndicator() const { return jogSelect_.JogIndicator(); }

 private:
  MachineControl machine_;
  JogButtons jog_;
  FunctionKeys functionKeys_;
  ZeroSelection zero_;
  DroScaling scaling_;
  JogSelect jogSelect_;
};

}  // namespace quenta
