// The probe's live view: finds the pendant, shows one line per change of its
// buttons with the raw report, measures how often it reports, and follows it
// through unplug and replug. Steppable, so the tests drive it round by round.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "device/hid_system.h"
#include "probe/probe_clock.h"
#include "probe/report_rate.h"

namespace quenta::probe {

class LiveView {
 public:
  // While the pendant is away (or cannot be opened) it is looked for this often.
  static constexpr unsigned kSearchPeriodMs = 500;
  // A round that found no report sleeps this long before the next.
  static constexpr unsigned kIdleMs = 5;

  LiveView(HidSystem& hid, std::ostream& out, ProbeClock& clock);

  // Lists every HID interface and opens the pendant if one is there.
  void Start();
  // One round: takes every report waiting, or looks for the pendant again.
  void Step();
  bool Reading() const { return reader_ != nullptr; }

 private:
  enum class Absence { None, NotFound, CannotOpen };

  void Search(bool listAll);
  void Open(const std::string& path);
  void ReadReports();
  void Take(const InputReport& report);
  void Lose();
  void ShowRate(const RateReading& reading);

  HidSystem& hid_;
  std::ostream& out_;
  ProbeClock& clock_;
  std::unique_ptr<HidReader> reader_;
  std::string path_;  // of the pendant read last
  std::optional<InputReport> last_;
  std::optional<ReportRate> rate_;
  std::optional<RateReading> shownRate_;
  Absence absence_ = Absence::None;
  HidOpenError shownFailure_ = HidOpenError::None;
  std::size_t warnedPendants_ = 1;
  bool lost_ = false;
};

}  // namespace quenta::probe
