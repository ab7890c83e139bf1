#include "control/control_logic.h"

namespace quenta {

// Each handler sees only this poll's buttons and the effects of those before
// it, so the order below is part of the behaviour.
void ControlLogic::RunPoll(const ButtonStates& buttons) {
  machine_.RunEStop(buttons);
  machine_.RunMachineButtons(buttons);
  // While a zero selection waits for its axis, the jog buttons pick the axis
  // instead of jogging. A jog let go meanwhile (an A jog under Shift when the
  // tap armed it) still ends now, not at the lapse: the axis must not run on.
  // The zeroed axis's own jog ends at the poll after its release, as before.
  if (!zero_.Armed())
    jog_.RunHandlers(buttons, jogSelect_.StepJogMode());
  else if (!zero_.ZeroingAxis())
    jog_.EndReleasedJogs(buttons);
  functionKeys_.Run(buttons);
  zero_.Run(buttons);
  scaling_.Run(buttons);
  jog_.ExpireArms();
  zero_.Lapse();
  scaling_.Lapse();
  jog_.RestoreJogMode(buttons);
  jogSelect_.Run(buttons);
}

}  // namespace quenta
