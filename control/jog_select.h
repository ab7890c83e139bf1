// The jog-rate and jog-step buttons: they choose the jog mode, cycle the
// host's jog rate (DRO 3) and jog step (DRO 828), and classify the value in
// force for the pendant's indicator.
#pragma once

#include <cstdint>

#include "control/edges.h"

namespace quenta {

class JogSelect {
 public:
  void Run(const ButtonStates& buttons);
  bool StepJogMode() const { return stepJogMode_; }
  std::int32_t JogIndicator() const { return jogIndicator_; }

 private:
  void Classify();

  bool stepJogMode_ = false;
  std::int32_t jogIndicator_ = 0;
  PressLatch rateButton_;
  PressLatch stepButton_;
};

}  // namespace quenta
