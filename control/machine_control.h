// E-stop, the shifted cycle and spindle buttons, and the screen button with
// its rotation through the three configured host screens.
#pragma once

#include <cstdint>

#include "control/edges.h"

namespace quenta {

class MachineControl {
 public:
  void RunEStop(const ButtonStates& buttons);
  void RunMachineButtons(const ButtonStates& buttons);

 private:
  void RunScreenButton(const ButtonStates& buttons);
  void RotateScreen();

  PressLatch eStop_;
  PressLatch eStopChord_;
  PressLatch spindle_;
  PressLatch cycleStart_;  // bit 26 with Shift
  PressLatch cycleStep_;   // bit 27 with Shift
  bool skip1002Once_ = false;
  TimedLatch screenButton_{HoldTicks1};
  // Slots 1 to 3 at indexes 0 to 2; a slot never mapped sends 0.
  std::int32_t screenCode_[3] = {0, 0, 0};
  int screenSlot_ = 1;
};

}  // namespace quenta
