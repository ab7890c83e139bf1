// QuentaProbe --once, --leds and its command line, over the virtual HID stack.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "probe/led_tour.h"
#include "probe/once_check.h"
#include "probe/probe_exit.h"
#include "probe/probe_run.h"
#include "sim/virtual_hid.h"
#include "tests/support/manual_clock.h"

namespace quenta::probe {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class ProbeCommands : public ::testing::Test {
 protected:
  int Once() { return RunOnce(hid, out, clock); }
  // The output, which must be one line.
  std::string Line() {
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    return text;
  }

  VirtualHidSystem hid;
  ManualClock clock;
  std::ostringstream out;
};

TEST_F(ProbeCommands, OnceSaysNotFoundWithExitCodeOne) {
  hid.AddOtherDevice(0x046D, 0xC077);
  EXPECT_EQ(Once(), kExitNotFound);
  EXPECT_THAT(Line(), StartsWith("NOT FOUND: no pendant (USB identity 04D8:FCEB) among the 1 HID interfaces"));
}

TEST_F(ProbeCommands, OnceWaitsForAReportAndGivesUpWithExitCodeTwo) {
  hid.AddPendant();
  EXPECT_EQ(Once(), kExitCannotUse);
  EXPECT_THAT(Line(), AllOf(StartsWith("NO REPORT: pendant \\\\?\\hid#vid_04d8&pid_fceb#1 opened but sent no report"),
                            HasSubstr("hold one down while this runs")));
  EXPECT_GE(clock.nowMs, 1000 + static_cast<std::int64_t>(kOnceReportWaitMs));
  EXPECT_EQ(hid.openHandles, 0);
}

TEST_F(ProbeCommands, OnceCannotOpenIsExitCodeTwoAndNamesTheFirstOfTwoPendants) {
  hid.AddPendant();
  hid.AddPendant();
  hid.failOpens = true;
  EXPECT_EQ(Once(), kExitCannotUse);
  EXPECT_THAT(Line(), AllOf(StartsWith("CANNOT OPEN: pendant \\\\?\\hid#vid_04d8&pid_fceb#1 (the first of 2 pendants"),
                            HasSubstr(": it is in use")));
}

// A reader that gets one report the moment it reads: the pendant streams.
class StreamingHid : public VirtualHidSystem {
 public:
  std::unique_ptr<HidReader> OpenReader(const std::string& path) override {
    std::unique_ptr<HidReader> reader = VirtualHidSystem::OpenReader(path);
    if (reader) Send(path, report);
    return reader;
  }
  InputReport report{};
};

TEST(ProbeOnce, AReportingPendantIsExitCodeZeroWithItsButtons) {
  StreamingHid hid;
  hid.AddPendant();
  hid.report = {0x00, 0x01, 0x00, 0x01, 0, 0, 0, 0};
  ManualClock clock;
  std::ostringstream out;
  EXPECT_EQ(RunOnce(hid, out, clock), kExitOk);
  EXPECT_EQ(out.str(), "OK: pendant \\\\?\\hid#vid_04d8&pid_fceb#1 reports; buttons down: Shift + Zero.\n");
}

TEST_F(ProbeCommands, TheLedTourLightsEachLedThenStepsTheIndicatorAndEndsDark) {
  hid.AddPendant();
  EXPECT_EQ(RunLedTour(hid, out, clock, [] { return false; }), kExitOk);
  ASSERT_EQ(hid.written.size(), 16u);
  EXPECT_EQ(hid.written[0], (OutputReport{0, 0x01, 0, 0, 0}));
  EXPECT_EQ(hid.written[1], (OutputReport{0, 0x04, 0, 0, 0}));
  EXPECT_EQ(hid.written[2], (OutputReport{0, 0x08, 0, 0, 0}));
  EXPECT_EQ(hid.written[3], (OutputReport{0, 0x0D, 0, 0, 0}));
  std::vector<int> indicators;
  for (std::size_t i = 4; i < 15; ++i) indicators.push_back(hid.written[i][2]);
  EXPECT_EQ(indicators, (std::vector<int>{1, 2, 3, 11, 12, 4, 5, 6, 14, 15, 16}));
  EXPECT_EQ(hid.written.back(), (OutputReport{}));
  EXPECT_EQ(clock.nowMs, 1000 + 15 * static_cast<std::int64_t>(kLedStepMs));  // one step a second
  EXPECT_THAT(out.str(), AllOf(HasSubstr("LED 800 (E-stop) lit"), HasSubstr("jog indicator 16: a jog step above 0.1"),
                               HasSubstr("all LEDs off")));
}

TEST_F(ProbeCommands, CtrlCEndsTheLedTourWithEverythingOff) {
  hid.AddPendant();
  int checks = 0;
  EXPECT_EQ(RunLedTour(hid, out, clock, [&checks] { return ++checks > 15; }), kExitOk);
  ASSERT_EQ(hid.written.size(), 3u);
  EXPECT_EQ(hid.written.back(), (OutputReport{}));
}

TEST_F(ProbeCommands, TheLedTourNeedsAPendantItCanWriteTo) {
  EXPECT_EQ(RunLedTour(hid, out, clock, [] { return false; }), kExitNotFound);
  EXPECT_THAT(out.str(), HasSubstr("No pendant"));
  const std::string pendant = hid.AddPendant().path;
  hid.failOpens = true;
  hid.failOpensWith = HidOpenError::AccessDenied;
  EXPECT_EQ(RunLedTour(hid, out, clock, [] { return false; }), kExitCannotUse);
  EXPECT_THAT(out.str(), HasSubstr("The pendant cannot be opened: access denied"));
  hid.failOpens = false;
  int checks = 0;
  EXPECT_EQ(RunLedTour(hid, out, clock, [&] {
              if (++checks == 5) hid.Unplug(pendant);
              return false;
            }),
            kExitCannotUse);
  EXPECT_THAT(out.str(), HasSubstr("The pendant is gone"));
}

TEST_F(ProbeCommands, TheCommandLineTakesOneKnownOptionAtMost) {
  const auto never = [] { return false; };
  EXPECT_EQ(RunProbe({"--fast"}, hid, out, clock, never), kExitUsage);
  EXPECT_THAT(out.str(), AllOf(HasSubstr("QuentaProbe does not know \"--fast\"."), HasSubstr("Usage: QuentaProbe")));
  EXPECT_EQ(RunProbe({"--once", "--leds"}, hid, out, clock, never), kExitUsage);
  for (const char* help : {"--help", "/?", "-h"}) EXPECT_EQ(RunProbe({help}, hid, out, clock, never), kExitOk) << help;
  EXPECT_EQ(RunProbe({"--once"}, hid, out, clock, never), kExitNotFound);
  out.str("");
  EXPECT_EQ(RunProbe({}, hid, out, clock, [] { return true; }), kExitOk);
  EXPECT_THAT(out.str(), AllOf(StartsWith("Quenta pendant probe 1."), HasSubstr("No pendant"), HasSubstr("Probe ended.")));
}

}  // namespace
}  // namespace quenta::probe
