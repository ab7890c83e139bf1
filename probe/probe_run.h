// The probe from its command line to its exit code, over any HID system,
// output stream and clock: the console program passes the real ones.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "device/hid_system.h"
#include "probe/probe_clock.h"

namespace quenta::probe {

// args: the arguments after the program's name. stopRequested: Ctrl+C was pressed.
int RunProbe(const std::vector<std::string>& args, HidSystem& hid, std::ostream& out, ProbeClock& clock,
             const std::function<bool()>& stopRequested);

}  // namespace quenta::probe
