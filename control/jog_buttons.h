// The eight axis jog buttons (bits 10 to 17): a press jogs at once in step
// jog mode and after a double press in rate jog mode. The host's own jog mode
// is noted at the first jog of a jog period and restored 15 ticks after the
// last jog button went up.
#pragma once

#include <array>
#include <cstdint>

#include "control/edges.h"

namespace quenta {

class JogButtons {
 public:
  void RunHandlers(const ButtonStates& buttons, bool stepJogMode);
  // While a zero selection waits for its axis: only the end codes of jogs whose buttons are up.
  void EndReleasedJogs(const ButtonStates& buttons);
  void ExpireArms();
  void RestoreJogMode(const ButtonStates& buttons);

 private:
  struct JogButton {
    JogButton(int bit, TickCounter& armWindow) : bit(bit), armWindow(&armWindow) {}

    int bit;
    TimedLatch held{HoldTicks2};  // the press latch, timing the first press of a double press
    TickCounter* armWindow;
    bool armed = false;    // the first tap of a double press is done
    bool jogging = false;  // its start code went out and its end code is owed
  };
  struct JogModeMemory {
    bool saved = false;
    bool led14 = false;
    bool led15 = false;
    bool led57 = false;
    bool switched = false;
  };

  void HandleStepMode(JogButton& button, bool down, bool up);
  void HandleRateMode(JogButton& button, bool down, bool up);
  void StartJog(JogButton& button, bool stepJogMode);
  void EndJog(JogButton& button);

  std::array<JogButton, 8> buttons_{{{10, HoldTicks3},
                                     {11, HoldTicks4},
                                     {12, HoldTicks5},
                                     {13, HoldTicks6},
                                     {14, HoldTicks7},
                                     {15, HoldTicks8},
                                     {16, HoldTicks9},
                                     {17, HoldTicks10}}};
  JogModeMemory memory_;
};

}  // namespace quenta
