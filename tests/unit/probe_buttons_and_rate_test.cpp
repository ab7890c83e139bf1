// The probe's naming of buttons and its measure of the report rate.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "probe/button_names.h"
#include "probe/report_rate.h"

namespace quenta::probe {
namespace {

TEST(ProbeButtonNames, DownButtonsInBitOrderWithoutTheIdentifierAndUnusedBytes) {
  EXPECT_EQ(DescribeButtons({0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}), "no button");
  EXPECT_EQ(DescribeButtons({0x00, 0x05, 0x00, 0x00, 0, 0, 0, 0}), "Shift + Jog X+");
  EXPECT_EQ(DescribeButtons({0x00, 0x00, 0x01, 0x10, 0, 0, 0, 0}), "Jog A+ / F1 + Spindle");
  // A pendant wired wrongly shows what it sets beyond the buttons.
  EXPECT_EQ(DescribeButtons({0x00, 0x00, 0x00, 0xA0, 0, 0, 0, 0}), "unused bit 29 + unused bit 31");
  EXPECT_EQ(RawBytes({0x00, 0x01, 0x04, 0x1F, 0xA0, 0, 0, 0xFF}), "00 01 04 1F A0 00 00 FF");
}

// The operator looks a name up in the button map: the probe must use the map's names.
TEST(ProbeButtonNames, AreTheNamesOfTheButtonMap) {
  std::ifstream map(QUENTA_SOURCE_DIR "/docs/button_map.md");
  ASSERT_TRUE(map.is_open());
  const std::regex row(R"(^\| (\d+) \| ([^|]+?) \|)");
  int rows = 0;
  for (std::string line; std::getline(map, line);) {
    std::smatch match;
    if (!std::regex_search(line, match, row)) continue;
    const int bit = std::stoi(match[1]);
    ASSERT_NE(ButtonName(bit), nullptr) << bit;
    EXPECT_EQ(match[2].str(), ButtonName(bit)) << "bit " << bit;
    ++rows;
  }
  EXPECT_EQ(rows, kLastButtonBit - kFirstButtonBit + 1);
  EXPECT_EQ(ButtonName(7), nullptr);
  EXPECT_EQ(ButtonName(29), nullptr);
}

TEST(ProbeReportRate, AStreamIsMeasuredByItsSpacingWhateverTheWindowEdges) {
  ReportRate rate(0);
  // 125 reports a second, jittered by 3 ms either way, starting a while into the window.
  std::int64_t at = 37;
  for (int i = 0; i < 240; ++i, at += 8) rate.Add(at + (i % 2 == 0 ? 3 : -3), i % 50 == 0);
  EXPECT_FALSE(rate.Take(1999));
  const std::optional<RateReading> reading = rate.Take(2000);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->pattern, ReportPattern::Streaming);
  EXPECT_EQ(reading->reports, 240);
  EXPECT_NEAR(reading->perSecond, 125.0, 12.5);
  // The next window starts afresh.
  const std::optional<RateReading> next = rate.Take(4000);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->pattern, ReportPattern::Silent);
  EXPECT_EQ(next->perSecond, 0.0);
}

TEST(ProbeReportRate, OnChangeWhenEveryReportChangedTheButtons) {
  ReportRate rate(0);
  rate.Add(500, true);
  rate.Take(1000);  // not over yet: nothing is lost
  rate.Add(1500, true);
  const std::optional<RateReading> reading = rate.Take(2500);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->pattern, ReportPattern::OnChange);
  EXPECT_EQ(reading->reports, 2);

  ReportRate single(0);
  single.Add(10, true);
  EXPECT_NEAR(single.Take(2000)->perSecond, 0.5, 1e-9);  // one report: counted over the window
}

}  // namespace
}  // namespace quenta::probe
