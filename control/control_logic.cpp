#include "control/control_logic.h"

namespace quenta {

// The handlers arrive with the control-logic work; the poll already calls here.
void ControlLogic::RunPoll(const ButtonStates&) {}

}  // namespace quenta
