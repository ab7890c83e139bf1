#include "probe/probe_run.h"

#include "probe/led_tour.h"
#include "probe/live_view.h"
#include "probe/once_check.h"
#include "probe/probe_exit.h"
#include "resources/version.h"

namespace quenta::probe {

namespace {

void Usage(std::ostream& out) {
  out << "Usage: QuentaProbe [--leds | --once | --help]\n"
         "  (nothing)  list the HID devices, find the pendant and show its buttons live; Ctrl+C ends\n"
         "  --leds     light the pendant's LEDs and step its jog indicator, one step a second; Ctrl+C ends\n"
         "  --once     one line and an exit code, for scripts\n"
         "  --help     this text (also /? or -h)\n"
         "Exit codes:\n"
         "  0  the pendant is there and reports, or the run ended normally\n"
         "  1  no pendant is plugged in\n"
         "  2  the pendant is there but cannot be opened, sent no report within 3 seconds or went away\n"
         "  3  an option the probe does not know\n";
}

// Windows' own spelling of the question, and the two others operators type.
bool AsksForHelp(const std::string& arg) { return arg == "--help" || arg == "/?" || arg == "-h"; }

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
  const bool known = mode.empty() || mode == "--leds" || mode == "--once" || AsksForHelp(mode);
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
  if (AsksForHelp(mode)) {
    Usage(out);
    return kExitOk;
  }
  if (mode == "--leds") return RunLedTour(hid, out, clock, stopRequested);
  return RunLive(hid, out, clock, stopRequested);
}

}  // namespace quenta::probe
