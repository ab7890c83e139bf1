#include "probe/once_check.h"

#include <memory>

#include "probe/button_names.h"
#include "probe/hid_survey.h"
#include "probe/open_failure_text.h"
#include "probe/probe_exit.h"

namespace quenta::probe {

namespace {

constexpr unsigned kPollMs = 5;

std::string Which(const HidSurvey& survey) {
  std::string text = "pendant " + survey.PendantPath();
  if (survey.pendants.size() > 1)
    text += " (the first of " + std::to_string(survey.pendants.size()) +
            " pendants plugged in: the one the plug-in takes; unplug the other" +
            (survey.pendants.size() > 2 ? "s)" : ")");
  return text;
}

}  // namespace

int RunOnce(HidSystem& hid, std::ostream& out, ProbeClock& clock) {
  const HidSurvey survey = SurveyHid(hid);
  if (!survey.FoundPendant()) {
    out << "NOT FOUND: no pendant (USB identity 04D8:FCEB) among the " << survey.interfaces.size()
        << " HID interfaces present. Plug it in, or try another USB port.\n";
    return kExitNotFound;
  }
  const std::unique_ptr<HidReader> reader = hid.OpenReader(survey.PendantPath());
  if (!reader) {
    out << "CANNOT OPEN: " << Which(survey) << ": " << ExplainOpenFailure(hid.LastOpenFailure()) << '\n';
    return kExitCannotUse;
  }
  const std::int64_t start = clock.NowMs();
  for (;;) {
    InputReport report;
    const HidIo result = reader->Read(report, 0);
    if (result == HidIo::Done) {
      out << "OK: " << Which(survey) << " reports; buttons down: " << DescribeButtons(report) << ".\n";
      return kExitOk;
    }
    if (result == HidIo::Gone) {
      out << "GONE: " << Which(survey) << " went away while it was read. Check the cable and the USB port.\n";
      return kExitCannotUse;
    }
    if (clock.NowMs() - start >= kOnceReportWaitMs) break;
    clock.Sleep(kPollMs);
  }
  out << "NO REPORT: " << Which(survey) << " opened but sent no report in " << kOnceReportWaitMs / 1000
      << " s. A pendant that reports on change sends none until a button changes: hold one down while this runs."
         " Otherwise unplug the pendant and plug it in again.\n";
  return kExitCannotUse;
}

}  // namespace quenta::probe
