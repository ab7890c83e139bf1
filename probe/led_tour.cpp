#include "probe/led_tour.h"

#include <iterator>
#include <memory>

#include "device/hid_system.h"
#include "probe/hid_survey.h"
#include "probe/open_failure_text.h"
#include "probe/probe_exit.h"

namespace quenta::probe {

namespace {

struct TourStep {
  PendantDisplay display;
  const char* shows;
};

// The indicator classes are those the plug-in sends for the jog rate and the jog step in force.
const TourStep kTour[] = {
    {{true, false, false, 0}, "LED 800 (E-stop) lit"},
    {{false, true, false, 0}, "LED 804 lit"},
    {{false, false, true, 0}, "LED 805 lit"},
    {{true, true, true, 0}, "LEDs 800, 804 and 805 lit"},
    {{false, false, false, 1}, "jog indicator 1: jog rate 5"},
    {{false, false, false, 2}, "jog indicator 2: jog rate 50"},
    {{false, false, false, 3}, "jog indicator 3: jog rate 100"},
    {{false, false, false, 11}, "jog indicator 11: a jog rate below 5"},
    {{false, false, false, 12}, "jog indicator 12: another jog rate below 100"},
    {{false, false, false, 4}, "jog indicator 4: jog step 0.001"},
    {{false, false, false, 5}, "jog indicator 5: jog step 0.01"},
    {{false, false, false, 6}, "jog indicator 6: jog step 0.1"},
    {{false, false, false, 14}, "jog indicator 14: a jog step below 0.001"},
    {{false, false, false, 15}, "jog indicator 15: a jog step between 0.001 and 0.1"},
    {{false, false, false, 16}, "jog indicator 16: a jog step above 0.1"},
};

constexpr unsigned kStopCheckMs = 100;

// Waits one step, ending early on Ctrl+C; false then.
bool WaitStep(ProbeClock& clock, const std::function<bool()>& stopRequested) {
  for (unsigned waited = 0; waited < kLedStepMs; waited += kStopCheckMs) {
    if (stopRequested()) return false;
    clock.Sleep(kStopCheckMs);
  }
  return !stopRequested();
}

}  // namespace

int RunLedTour(HidSystem& hid, std::ostream& out, ProbeClock& clock, const std::function<bool()>& stopRequested) {
  const HidSurvey survey = SurveyHid(hid);
  if (!survey.FoundPendant()) {
    out << "No pendant (USB identity 04D8:FCEB) is plugged in. Plug it in and run QuentaProbe --leds again.\n";
    return kExitNotFound;
  }
  WarnOfOtherPendants(out, survey);
  const std::unique_ptr<HidWriter> writer = hid.OpenWriter(survey.PendantPath());
  if (!writer) {
    out << "The pendant cannot be opened: " << ExplainOpenFailure(hid.LastOpenFailure()) << '\n';
    return kExitCannotUse;
  }
  out << "Lighting the outputs of the pendant " << survey.PendantPath() << "\n"
      << "one step a second; watch the pendant. Ctrl+C ends. (Close Travix first: its plug-in sets the\n"
      << "pendant's outputs 40 times a second and would hide these.)\n";
  bool refusedShown = false;
  for (std::size_t i = 0; i <= std::size(kTour); ++i) {
    const bool last = i == std::size(kTour);
    const TourStep step = last ? TourStep{{false, false, false, 0}, "all LEDs off, jog indicator 0: the tour is over"} : kTour[i];
    const HidIo result = writer->Write(EncodeOutputReport(step.display), kWriteBoundMs);
    if (result == HidIo::Gone) {
      out << "The pendant is gone: it was unplugged, or its USB connection dropped. Plug it back in and run\n"
             "QuentaProbe --leds again.\n";
      return kExitCannotUse;
    }
    if (result != HidIo::Done && !refusedShown) {
      out << "The pendant did not take the report in time: if it shows nothing, unplug it and plug it in again.\n";
      refusedShown = true;
    }
    out << "  " << step.shows << '\n';
    out.flush();
    // Ctrl+C goes straight to the last step, so nothing stays lit.
    if (!last && !WaitStep(clock, stopRequested)) i = std::size(kTour) - 1;
  }
  return kExitOk;
}

}  // namespace quenta::probe
