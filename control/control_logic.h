// The control logic: turns the decoded button states of each report into host
// calls, running every handler in a fixed order.
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
//
// A host call may run a message loop and deliver a timer message before it
// returns. The link then calls FinishReport, so the handlers that have not
// yet acted on the report being acted on act on it, and acts on the newer
// reports; when the host call returns, the calling handler goes on with what
// is still due for it and the interrupted Act ends there. So every handler
// acts on every report once, in the order the reports came.
class ControlLogic {
 public:
  ControlLogic();
  // Every handler, in the fixed order, acts on this report.
  void Act(const ButtonStates& buttons);
  // The handlers that have not yet acted on the report being acted on act on it now.
  void FinishReport();
  // StopPlug: every jog whose start code went out ends, X first.
  void EndRunningJogs() { jog_.EndRunningJogs(); }
  // The pendant is back after a gap in the link: whatever a later press would
  // complete (a first press, an arm, a zero or scale-reset selection) is
  // forgotten. Jogs that ran stay until their buttons are seen up.
  void ForgetPendingPresses();
  // The class of the jog step or rate in force, shown by the pendant.
  std::int32_t JogIndicator() const { return jogSelect_.JogIndicator(); }

 private:
  void RunSteps(unsigned report);
  void RunStep(int step, const ButtonStates& buttons);

  MachineControl machine_;
  JogButtons jog_;
  FunctionKeys functionKeys_;
  ZeroSelection zero_;
  DroScaling scaling_;
  JogSelect jogSelect_;
  ButtonStates buttons_;  // of the report being acted on
  int nextStep_;          // its next handler; the number of handlers once all have acted
  unsigned reports_ = 0;  // reports acted on: tells an interrupted Act that newer ones took over
};

}  // namespace quenta
