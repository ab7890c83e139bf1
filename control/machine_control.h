// E-stop, the shifted cycle and spindle buttons, the screen button with its
// rotation through the three configured host screens, and the stop a lost
// pendant sends. Each Run... is one handler of the poll's fixed order.
#pragma once

#include <cstdint>

#include "config/pendant_settings.h"
#include "control/edges.h"
#include "control/host_port.h"

namespace quenta {

class MachineControl {
 public:
  MachineControl(HostPort& host, const PendantSettings& settings, HoldTicks& ticks)
      : host_(host), settings_(settings), screenButton_(ticks[1]) {}

  void RunEStop(const ButtonStates& buttons);
  void RunEStopChord(const ButtonStates& buttons);
  void RunSpindle(const ButtonStates& buttons);
  void RunCycleStart(const ButtonStates& buttons);
  void RunCycleStop(const ButtonStates& buttons);
  void RunScreenButton(const ButtonStates& buttons);
  // The pendant went away (or the PC goes to sleep) after it had sent
  // something: the E-stop, unless the machine is stopped already.
  void StopForLostPendant();
  // After a gap in the link a press of the screen button under way completes nothing.
  void ForgetPendingPresses() { screenButton_.Clear(); }

 private:
  void RotateScreen();

  HostPort& host_;
  const PendantSettings& settings_;
  GatedLatch eStop_;
  GatedLatch eStopChord_;
  PressLatch spindle_;
  PressLatch cycleStart_;  // bit 26 with Shift
  PressLatch cycleStop_;   // bit 27 with Shift
  // Taken by the start chord (bit 26) and spent by the next stop chord (bit
  // 27): the first stop after a start sends 1003 alone, and 1003 with 1002
  // from the stop after it on.
  bool skip1002Once_ = false;
  TimedLatch screenButton_;
  // Slots 1 to 3 at indexes 0 to 2; a slot never mapped sends 0.
  std::int32_t screenCode_[3] = {0, 0, 0};
  int screenSlot_ = 1;
};

}  // namespace quenta
