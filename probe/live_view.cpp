#include "probe/live_view.h"

#include <cmath>
#include <cstdio>

#include "device/hid_system.h"
#include "probe/button_names.h"
#include "probe/hid_survey.h"
#include "probe/open_failure_text.h"

namespace quenta::probe {

namespace {

constexpr std::size_t kButtonsColumn = 36;

// Byte 0 is the report identifier and bytes 4 to 7 are unused: only bytes 1 to 3 hold buttons.
bool ButtonsDiffer(const InputReport& a, const InputReport& b) { return a[1] != b[1] || a[2] != b[2] || a[3] != b[3]; }

std::string PerSecond(double rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", rate);
  return text;
}

}  // namespace

LiveView::LiveView(HidSystem& hid, std::ostream& out, ProbeClock& clock) : hid_(hid), out_(out), clock_(clock) {}

void LiveView::Start() {
  Search(true);
  out_.flush();
}

void LiveView::Step() {
  if (reader_) {
    ReadReports();
  } else {
    clock_.Sleep(kSearchPeriodMs);
    Search(false);
  }
  out_.flush();
}

void LiveView::Search(bool listAll) {
  const HidSurvey survey = SurveyHid(hid_);
  if (listAll) PrintSurvey(out_, survey);
  if (!survey.FoundPendant()) {
    if (absence_ != Absence::NotFound && !lost_)
      out_ << "No pendant (USB identity 04D8:FCEB) is plugged in. Plug it in, straight into the computer rather\n"
              "than through a hub if you can; the probe waits for it. Ctrl+C ends.\n";
    absence_ = Absence::NotFound;
    return;
  }
  if (survey.pendants.size() != warnedPendants_) {
    WarnOfOtherPendants(out_, survey);
    warnedPendants_ = survey.pendants.size();
  }
  if (absence_ == Absence::NotFound && !lost_) out_ << "A pendant was plugged in: " << survey.PendantPath() << '\n';
  Open(survey.PendantPath());
}

void LiveView::Open(const std::string& path) {
  reader_ = hid_.OpenReader(path);
  if (!reader_) {
    const HidOpenFailure failure = hid_.LastOpenFailure();
    if (absence_ != Absence::CannotOpen || failure.error != shownFailure_) {
      out_ << "The pendant cannot be opened: " << ExplainOpenFailure(failure) << '\n'
           << "The probe keeps trying. Ctrl+C ends.\n";
      shownFailure_ = failure.error;
    }
    absence_ = Absence::CannotOpen;
    return;
  }
  if (lost_ && path == path_)
    out_ << "The pendant is back: " << path << "\nReading it again.\n";
  else
    out_ << "Reading the pendant " << path << "\n"
         << "Press its buttons: each change shows on a line of its own, with the report's 8 bytes. Ctrl+C ends.\n";
  path_ = path;
  absence_ = Absence::None;
  shownFailure_ = HidOpenError::None;
  last_.reset();
  rate_.emplace(clock_.NowMs());
  shownRate_.reset();
}

void LiveView::ReadReports() {
  int taken = 0;
  while (taken < kReportsPerPollMax) {
    InputReport report;
    const HidIo result = reader_->Read(report, 0);
    if (result == HidIo::Gone) {
      Lose();
      return;
    }
    if (result != HidIo::Done) break;
    Take(report);
    ++taken;
  }
  if (const std::optional<RateReading> reading = rate_->Take(clock_.NowMs())) ShowRate(*reading);
  if (taken == 0) clock_.Sleep(kIdleMs);
}

void LiveView::Take(const InputReport& report) {
  const bool changed = !last_ || ButtonsDiffer(*last_, report);
  rate_->Add(clock_.NowMs(), changed);
  last_ = report;
  if (!changed) return;
  std::string buttons = DescribeButtons(report);
  if (buttons.size() < kButtonsColumn) buttons.resize(kButtonsColumn, ' ');
  out_ << "  " << buttons << "  raw " << RawBytes(report) << '\n';
}

void LiveView::Lose() {
  reader_.reset();
  lost_ = true;
  absence_ = Absence::NotFound;
  out_ << "The pendant is gone: it was unplugged, or its USB connection dropped. Plug it back in, into any\n"
          "USB port; the probe waits for it and carries on by itself. Ctrl+C ends.\n";
}

// Says how the pendant reports when that is news: a pattern not shown before,
// or a streaming rate that moved by more than a tenth.
void LiveView::ShowRate(const RateReading& reading) {
  const ReportPattern before = shownRate_ ? shownRate_->pattern : ReportPattern::Silent;
  switch (reading.pattern) {
    case ReportPattern::Streaming:
      if (shownRate_ && before == ReportPattern::Streaming &&
          std::fabs(reading.perSecond - shownRate_->perSecond) <= 0.1 * shownRate_->perSecond)
        return;
      out_ << "Report rate: " << PerSecond(reading.perSecond)
           << " reports per second. The pendant streams: it sends reports all the time, also when no button changes.\n";
      break;
    case ReportPattern::OnChange:
      if (shownRate_ && before == ReportPattern::OnChange) return;
      out_ << "Report rate: the pendant reports on change: it sends a report only when a button changes ("
           << reading.reports << " in the last " << ReportRate::kWindowMs / 1000 << " s, each one a change).\n";
      break;
    case ReportPattern::Silent:
      if (!shownRate_) {
        out_ << "Report rate: no report in " << ReportRate::kWindowMs / 1000
             << " s. A pendant that reports on change is quiet until a button changes: press one.\n"
                "If that shows nothing either, unplug the pendant and plug it in again.\n";
      } else if (before == ReportPattern::Streaming) {
        out_ << "Report rate: the pendant stopped sending reports (it sent " << PerSecond(shownRate_->perSecond)
             << " per second before). Unplug it and plug it in again.\n";
      } else {
        return;  // quiet between changes: as expected of a pendant that reports on change
      }
      break;
  }
  shownRate_ = reading;
}

}  // namespace quenta::probe
