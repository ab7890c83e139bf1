// The eight axis jog buttons (bits 10 to 17): a press jogs at once in step
// jog mode and after a double press in rate jog mode. The host's own jog mode
// is noted at the first jog of a jog period and restored 15 ticks after the
// last jog button went up.
#pragma once

#include <array>
#include <cstdint>

#include "config/pendant_settings.h"
#include "control/edges.h"
#include "control/generation.h"
#include "control/host_port.h"

namespace quenta {

class JogButtons {
 public:
  static constexpr int kButtons = 8;

  JogButtons(HostPort& host, const PendantSettings& settings, HoldTicks& ticks);

  // The handler of button `index` (bit 10 + index). While a zero selection
  // waits for its axis no jog starts, and a jog let go still ends.
  void RunButton(int index, const ButtonStates& buttons, bool stepJogMode, bool zeroSelectionArmed);
  void ExpireArms();
  void RestoreJogMode(const ButtonStates& buttons);
  // Every jog whose start code went out gets its end code, X first, and a
  // start still under way sends none. With untilReleased a button that is
  // still down starts nothing until it has been let go.
  void EndRunningJogs(bool untilReleased);
  // After a gap in the link: first presses and arms are forgotten; running jogs stay.
  void ForgetPendingPresses();
  // From a start code until its end code.
  bool AnyJogging() const { return jogging_ > 0; }

 private:
  struct JogButton {
    JogButton(int bit, TickCounter& firstPress, TickCounter& armWindow)
        : bit(bit), held(firstPress), armWindow(&armWindow) {}
    // A start is under way or its start code went out: a release sends the end code.
    bool Active() const { return starting || jogging; }

    int bit;
    TimedLatch held;  // the press latch, timing the first press of a double press
    TickCounter* armWindow;
    bool armed = false;     // the first tap of a double press is done
    bool starting = false;  // between the press and the call of its start code
    bool jogging = false;   // from the call of its start code until its end code
    bool waitForRelease = false;  // its jog was ended while it was held: it counts once it was let go
    Generation starts;      // tells a start whether a newer press took over meanwhile
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
  void NoteJogModeLeds();
  void EndJog(JogButton& button);
  bool Reversed(int bit) const;

  HostPort& host_;
  const PendantSettings& settings_;
  TickCounter& idleTimer_;
  std::array<JogButton, kButtons> buttons_;
  JogModeMemory memory_;
  int jogging_ = 0;  // buttons whose start code went out and whose end code has not
};

}  // namespace quenta
