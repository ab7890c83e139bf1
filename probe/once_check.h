// QuentaProbe --once: one line on whether the pendant is there and reporting,
// and the exit code that says the same to a support script.
#pragma once

#include <ostream>

#include "device/hid_system.h"
#include "probe/probe_clock.h"

namespace quenta::probe {

// How long --once waits for the first report.
constexpr unsigned kOnceReportWaitMs = 3000;

int RunOnce(HidSystem& hid, std::ostream& out, ProbeClock& clock);

}  // namespace quenta::probe
