#include "probe/report_rate.h"

namespace quenta::probe {

void ReportRate::Add(std::int64_t atMs, bool changed) {
  if (reports_ == 0) firstMs_ = atMs;
  lastMs_ = atMs;
  ++reports_;
  if (!changed) ++unchanged_;
}

std::optional<RateReading> ReportRate::Take(std::int64_t nowMs) {
  const std::int64_t windowMs = nowMs - windowStartMs_;
  if (windowMs < kWindowMs) return std::nullopt;
  RateReading reading;
  reading.reports = reports_;
  reading.pattern = reports_ == 0    ? ReportPattern::Silent
                    : unchanged_ > 0 ? ReportPattern::Streaming
                                     : ReportPattern::OnChange;
  // The spacing of the reports, when there is one: a window's edges cut no report in half.
  if (reports_ >= 2 && lastMs_ > firstMs_)
    reading.perSecond = (reports_ - 1) * 1000.0 / static_cast<double>(lastMs_ - firstMs_);
  else
    reading.perSecond = reports_ * 1000.0 / static_cast<double>(windowMs);
  *this = ReportRate(nowMs);
  return reading;
}

}  // namespace quenta::probe
