// The jog-rate and jog-step buttons: they choose the jog mode, cycle the
// host's jog rate (DRO 3) and jog step (DRO 828), and classify the value in
// force for the pendant's indicator.
#pragma once

#include <cstdint>

#include "control/edges.h"
#include "control/host_port.h"

namespace quenta {

// The indicator classes are what the pendant can show: one class per value
// of each cycle (rates 1 to 3, steps 4 to 6), and for a value off the cycle
// where it lies against it (11 and 12, 14 to 16), so an operator sees that
// the next press brings it back onto the cycle.
class JogSelect {
 public:
  explicit JogSelect(HostPort& host) : host_(host) {}

  // The three handlers, in this order: a change shows on the pendant one poll later.
  void Classify();
  void RunRateButton(const ButtonStates& buttons);
  void RunStepButton(const ButtonStates& buttons);
  bool StepJogMode() const { return stepJogMode_; }
  std::int32_t JogIndicator() const { return jogIndicator_; }

 private:
  void AdvanceJogRate();
  void AdvanceJogStep();

  HostPort& host_;
  bool stepJogMode_ = false;
  std::int32_t jogIndicator_ = 0;
  PressLatch rateButton_;
  PressLatch stepButton_;
};

}  // namespace quenta
