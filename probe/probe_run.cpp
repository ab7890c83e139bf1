#include "probe/probe_run.h"

#include "probe/led_tour.h"
#include "probe/live_view.h"
#include "probe/once_check.h"
#include "probe/probe_exit.h"
#include "resources/version.h"

namespace quenta::probe {

namespace {

void Usage(std::ostream& out) {
  out << "Usage: QuentaProbe [--leds | --once]\n"
         "  (nothing)  list the HID devices, find the pendant and show its buttons live; Ctrl+C ends\n"
         "  --leds     light the pendant's LEDs and step its jog indicator, one step a second\n"
         "  --once     one line and an exit code: 0 pendant found and reporting, 1 not found,\n"
         "             2 found but cannot be opened or sends no report\n";
}

int RunLive(HidSystem& hid, std::ostream& out, ProbeClock& clock, const std::function<bool()>& stopRequested) {
  LiveView view(hid, out, clock);
  view.Start();
  while (!stopRequested()) view.Step();
  out << "Probe ended.\n";
  return kExitOk;
}

}  // namespace

int RunProbe(const std::vector<std::string>& args, HidSystem& hid, std::ostream& out, ProbeClock& clock,
             const std::function<bool()>& stopRequested) {
  const std::string mode = args.empty() ? std::string() : args.front();
  const bool known = mode.empty() || mode == "--leds" || mode == "--once" || mode == "--help";
  if (args.size() > 1 || !known) {
    if (args.size() > 1)
      out << "QuentaProbe takes one option at most.\n";
    else
      out << "QuentaProbe does not know \"" << mode << "\".\n";
    Usage(out);
    return kExitUsage;
  }
  if (mode == "--once") return RunOnce(hid, out, clock);
  out << "Quenta pendant probe " << QUENTA_VERSION_TEXT << "\n\n";
  if (mode == "--help") {
    Usage(out);
    return kExitOk;
  }
  if (mode == "--leds") return RunLedTour(hid, out, clock, stopRequested);
  return RunLive(hid, out, clock, stopRequested);
}

}  // namespace quenta::probe
