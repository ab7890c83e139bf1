// The two Shift function keys (bits 16 and 17 with Shift): a tap runs the
// FunctionList entry chosen for the key in BUTTON0 or BUTTON1.
#pragma once

#include "config/pendant_settings.h"
#include "control/edges.h"
#include "control/host_port.h"

namespace quenta {

class FunctionKeys {
 public:
  static constexpr int kKeys = 2;

  FunctionKeys(HostPort& host, const PendantSettings& settings, HoldTicks& ticks)
      : host_(host), settings_(settings), keys_{TimedLatch(ticks[2]), TimedLatch(ticks[2])} {}

  // The handler of key `key`: bit 16 + key with Shift.
  void RunKey(int key, const ButtonStates& buttons);
  // After a gap in the link a tap under way completes nothing.
  void ForgetPendingPresses();

 private:
  void RunFunction(int position);

  HostPort& host_;
  const PendantSettings& settings_;
  TimedLatch keys_[kKeys];
};

}  // namespace quenta
