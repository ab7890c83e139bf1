// E-stop, the shifted cycle and spindle buttons, and the screen button with
// its rotation through the three configured host screens. Each Run... is one
// handler of the poll's fixed order.
#pragma once

#include <cstdint>

#include "control/edges.h"

namespace quenta {

class MachineControl {
 public:
  void RunEStop(const ButtonStates& buttons);
  void RunEStopChord(const ButtonStates& buttons);
  void RunSpindle(const ButtonStates& buttons);
  void RunCycleStart(const ButtonStates& buttons);
  void RunCycleStop(const ButtonStates& buttons);
  void RunScreenButton(const ButtonStates& buttons);

 private:
  void RotateScreen();

  GatedLatch eStop_;
  GatedLatch eStopChord_;
  PressLatch spindle_;
  PressLatch cycleStart_;  // bit 26 with Shift
  PressLatch cycleStop_;   // bit 27 with Shift
  // Taken by the start chord (bit 26) and spent by the next stop chord (bit
  // 27): the first stop after a start sends 1003 alone, and 1003 with 1002
  // from the stop after it on.
  bool skip1002Once_ = false;
  TimedLatch screenButton_{HoldTicks1};
  // Slots 1 to 3 at indexes 0 to 2; a slot never mapped sends 0.
  std::int32_t screenCode_[3] = {0, 0, 0};
  int screenSlot_ = 1;
};

}  // namespace quenta
