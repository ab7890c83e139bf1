// How often the pendant sends reports, measured over windows of two seconds:
// whether it streams (it also sends reports that change no button) or
// reports only on change, and how many reports per second.
#pragma once

#include <cstdint>
#include <optional>

namespace quenta::probe {

enum class ReportPattern {
  Silent,     // no report in the window
  OnChange,   // every report changed the buttons
  Streaming,  // some reports changed nothing
};

struct RateReading {
  ReportPattern pattern = ReportPattern::Silent;
  int reports = 0;
  double perSecond = 0;
};

class ReportRate {
 public:
  static constexpr std::int64_t kWindowMs = 2000;

  explicit ReportRate(std::int64_t startMs) : windowStartMs_(startMs) {}

  // A report read at atMs; changed: it differs in its buttons from the one before.
  void Add(std::int64_t atMs, bool changed);
  // Once a window is over: its reading, and the next window starts.
  std::optional<RateReading> Take(std::int64_t nowMs);

 private:
  std::int64_t windowStartMs_;
  int reports_ = 0;
  int unchanged_ = 0;
  std::int64_t firstMs_ = 0;
  std::int64_t lastMs_ = 0;
};

}  // namespace quenta::probe
