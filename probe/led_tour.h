// QuentaProbe --leds: lights the pendant's LEDs and steps its jog indicator
// through every class, one step a second, so the operator can check its outputs.
#pragma once

#include <functional>
#include <ostream>

#include "device/hid_system.h"
#include "probe/probe_clock.h"

namespace quenta::probe {

constexpr unsigned kLedStepMs = 1000;

// Exit code: 0 when the tour ran (or was ended by Ctrl+C), 1 when there is no
// pendant, 2 when it cannot be opened or went away.
int RunLedTour(HidSystem& hid, std::ostream& out, ProbeClock& clock, const std::function<bool()>& stopRequested);

}  // namespace quenta::probe
