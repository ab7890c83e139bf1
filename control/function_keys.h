// The two Shift function keys (bits 16 and 17 with Shift): a tap runs the
// FunctionList entry chosen for the key in BUTTON0 or BUTTON1.
#pragma once

#include "control/edges.h"

namespace quenta {

class FunctionKeys {
 public:
  static constexpr int kKeys = 2;
  // The handler of key `key`: bit 16 + key with Shift.
  void RunKey(int key, const ButtonStates& buttons);

 private:
  TimedLatch keys_[2] = {TimedLatch(HoldTicks2), TimedLatch(HoldTicks2)};
};

}  // namespace quenta
