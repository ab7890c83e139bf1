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
  static constexpr int kButtons = 8;

  // The handler of button `index` (bit 10 + index). While a zero selection
  // waits for its axis no jog starts, and a jog let go still ends.
  void RunButton(int index, const ButtonStates& buttons, bool stepJogMode, bool zeroSelectionArmed);
  void ExpireArms();
  void RestoreJogMode(const ButtonStates& buttons);
  // StopPlug: every jog whose start code went out gets its end code, X first.
  void EndRunningJogs();
  // After a gap in the link: first presses and arms are forgotten; running jogs stay.
  void ForgetPendingPresses();

 private:
  struct JogButton {
    JogButton(int bit, TickCounter& armWindow) : bit(bit), armWindow(&armWindow) {}
    // A start is under way or its start code went out: a release sends the end code.
    bool Active() const { return starting || jogging; }

    int bit;
    TimedLatch held{HoldTicks2};  // the press latch, timing the first press of a double press
    TickCounter* armWindow;
    bool armed = false;     // the first tap of a double press is done
    bool starting = false;  // between the press and the call of its start code
    bool jogging = false;   // from the call of its start code until its end code
    unsigned starts = 0;    // tells a start whether a newer press took over meanwhile
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
  void NoteJogModeLed(const JogButton& button, unsigned start);
  void EndJog(JogButton& button);

  std::array<JogButton, kButtons> buttons_{{{10, HoldTicks3},
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
