// The control logic: turns the decoded button states of each report into host
// calls, running every handler in a fixed order.
#pragma once

#include <cstdint>

#include "control/function_keys.h"
#include "control/jog_buttons.h"
#include "control/jog_select.h"
#include "control/machine_control.h"
#include "control/zero_and_scale.h"
#include "control/generation.h"
#include "control/host_port.h"

namespace quenta {

// Holds all the state of the handlers: a fresh object is a freshly loaded
// module. Each report is acted on by every handler in the fixed order; a
// host call that runs a message loop may let newer reports be acted on
// before the call returns (see generation.h).
class ControlLogic {
 public:
  ControlLogic(HostPort& host, const PendantSettings& settings, HoldTicks& ticks);
  // Every handler, in the fixed order, acts on this report.
  void Act(const ButtonStates& buttons);
  // The handlers that have not yet acted on the report being acted on act on it now.
  void FinishReport();
  // Every jog whose start code went out ends, X first; a start under way
  // sends nothing more. With untilReleased a button still down starts no
  // jog until it was let go.
  void EndRunningJogs(bool untilReleased) { jog_.EndRunningJogs(untilReleased); }
  // The pendant went away after it had sent something: the E-stop, by LED 800.
  void StopForLostPendant() { machine_.StopForLostPendant(); }
  // The pendant is back after a gap in the link: every press that acts at
  // its release, and whatever a later press would complete (a first press,
  // an arm, a zero or scale-reset selection), is forgotten. Jogs that ran
  // stay until their buttons are seen up; latches of buttons that act at
  // their press are kept.
  void ForgetPendingPresses();
  // What the pendant shows: the host's LEDs 800, 804 and 805, and the class
  // of the jog step or rate in force.
  PendantDisplay Display();
  bool AnyJogging() const { return jog_.AnyJogging(); }

 private:
  void RunSteps(Generation::Ticket report);
  void RunStep(int step, const ButtonStates& buttons);

  HostPort& host_;
  MachineControl machine_;
  JogButtons jog_;
  FunctionKeys functionKeys_;
  ZeroSelection zero_;
  DroScaling scaling_;
  JogSelect jogSelect_;
  ButtonStates buttons_;  // of the report being acted on
  int nextStep_;          // its next handler; the number of handlers once all have acted
  Generation reports_;    // a newer report taking over ends an interrupted Act
  Generation::Ticket current_ = reports_.Next();
};

}  // namespace quenta
