// The probe's live view over the virtual HID stack: the listing, one line per
// change, the report rate at known times, and the pendant going and coming.
#include "probe/live_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "sim/virtual_hid.h"
#include "tests/support/manual_clock.h"

namespace quenta::probe {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ProbeLiveView : public ::testing::Test {
 protected:
  // The output since the previous call.
  std::string Said() {
    const std::string text = out.str();
    out.str("");
    return text;
  }
  void Send(const std::string& path, const InputReport& report) {
    hid.Send(path, report);
    view.Step();
  }

  VirtualHidSystem hid;
  ManualClock clock;
  std::ostringstream out;
  LiveView view{hid, out, clock};
};

const InputReport kIdle{};
const InputReport kShiftJogXPlus{0x00, 0x05, 0x00, 0x00, 0, 0, 0, 0};

TEST_F(ProbeLiveView, ListsEveryInterfaceMarksThePendantAndShowsEachChangeOnce) {
  hid.AddOtherDevice(0x046D, 0xC077);
  const std::string pendant = hid.AddPendant().path;
  view.Start();
  EXPECT_THAT(Said(), AllOf(HasSubstr("HID interfaces present: 2"), HasSubstr("1. 046D:C077  \\\\?\\hid#vid_046d"),
                            HasSubstr("2. 04D8:FCEB  " + pendant + "  <- the pendant\n"),
                            HasSubstr("Reading the pendant " + pendant)));
  ASSERT_TRUE(view.Reading());

  Send(pendant, kIdle);
  EXPECT_THAT(Said(), HasSubstr("no button   "));
  Send(pendant, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("  Shift + Jog X+                        raw 00 05 00 00 00 00 00 00\n"));
  // Only the buttons make a change: the same buttons with other unused bytes show nothing.
  Send(pendant, {0x00, 0x05, 0x00, 0x00, 0x12, 0, 0, 0});
  view.Step();
  EXPECT_EQ(Said(), "");
}

TEST_F(ProbeLiveView, WithoutAPendantItSaysSoOnceAndTakesOneThatIsPluggedInLater) {
  hid.AddOtherDevice(0x046D, 0xC077);
  view.Start();
  EXPECT_THAT(Said(), HasSubstr("No pendant (USB identity 04D8:FCEB) is plugged in."));
  view.Step();
  view.Step();
  EXPECT_EQ(Said(), "");
  const std::string pendant = hid.AddPendant().path;
  view.Step();
  EXPECT_THAT(Said(), AllOf(HasSubstr("A pendant was plugged in: " + pendant), HasSubstr("Reading the pendant")));
  Send(pendant, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("Shift + Jog X+"));
}

TEST_F(ProbeLiveView, OfTwoPendantsItReadsTheFirstAsThePlugInDoesAndSaysToUnplugTheOther) {
  const std::string first = hid.AddPendant().path;
  const std::string second = hid.AddPendant().path;
  view.Start();
  const std::string said = Said();
  EXPECT_THAT(said, HasSubstr("1. 04D8:FCEB  " + first + "  <- the pendant, the one the plug-in takes"));
  EXPECT_THAT(said, HasSubstr("2. 04D8:FCEB  " + second + "  <- another pendant, which the plug-in ignores"));
  EXPECT_THAT(said, HasSubstr("2 pendants are plugged in. The plug-in takes only the first one Windows lists,\n  " +
                              first + "\n"));
  EXPECT_THAT(said, HasSubstr("Unplug the other so that you know which pendant you are using:\n  " + second));
  Send(second, kShiftJogXPlus);
  EXPECT_EQ(Said(), "");
  Send(first, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("Shift + Jog X+"));
  // The first one gone, the other is the pendant now, for the plug-in too: not the first one "back".
  hid.Unplug(first);
  view.Step();
  view.Step();
  EXPECT_THAT(Said(), AllOf(HasSubstr("The pendant is gone"), HasSubstr("Reading the pendant " + second),
                            Not(HasSubstr("is back"))));
}

TEST_F(ProbeLiveView, APendantThatCannotBeOpenedIsExplainedOnceAndTakenWhenItFrees) {
  const std::string pendant = hid.AddPendant().path;
  hid.failOpens = true;
  view.Start();
  EXPECT_THAT(Said(), AllOf(HasSubstr("The pendant cannot be opened: it is in use"),
                            HasSubstr("The probe keeps trying.")));
  view.Step();
  EXPECT_EQ(Said(), "");
  hid.failOpensWith = HidOpenError::AccessDenied;
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("The pendant cannot be opened: access denied"));
  hid.failOpens = false;
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("Reading the pendant " + pendant));
}

TEST_F(ProbeLiveView, AnUnplugIsToldAndThePendantIsReadAgainWhenItComesBack) {
  const std::string pendant = hid.AddPendant().path;
  view.Start();
  Send(pendant, kShiftJogXPlus);
  Said();
  hid.Unplug(pendant);
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("The pendant is gone: it was unplugged"));
  EXPECT_FALSE(view.Reading());
  view.Step();
  view.Step();
  EXPECT_EQ(Said(), "");  // waiting quietly, not "no pendant" again
  hid.Replug(pendant);
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("The pendant is back: " + pendant));
  // Back, the first report shows even with the buttons it had before.
  Send(pendant, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("Shift + Jog X+"));
  EXPECT_EQ(hid.openHandles, 1);
}

// Reports every `spacingMs` for `durationMs` of the manual clock, one a round. The view opened
// at a window's start, so a stream of 2000 ms fills one window of the rate.
void Stream(VirtualHidSystem& hid, LiveView& view, ManualClock& clock, const std::string& path, int spacingMs,
            int durationMs, const InputReport& report = kIdle) {
  for (int t = 0; t < durationMs; t += spacingMs) {
    clock.Advance(spacingMs);
    hid.Send(path, report);
    view.Step();
  }
}

TEST_F(ProbeLiveView, TheRateOfAStreamingPendantIsShownAndShownAgainOnlyWhenItMoves) {
  const std::string pendant = hid.AddPendant().path;
  view.Start();
  Said();
  Stream(hid, view, clock, pendant, 8, 2000);
  EXPECT_THAT(Said(), HasSubstr("Report rate: 125.0 reports per second. The pendant streams"));
  Stream(hid, view, clock, pendant, 8, 2000);
  EXPECT_THAT(Said(), Not(HasSubstr("Report rate")));
  Stream(hid, view, clock, pendant, 20, 2000);
  EXPECT_THAT(Said(), HasSubstr("Report rate: 50.0 reports per second."));
  for (int i = 0; i < 500; ++i) view.Step();  // the idle rounds let 2.5 s pass
  EXPECT_THAT(Said(), HasSubstr("the pendant stopped sending reports (it sent 50.0 per second before)"));
}

TEST_F(ProbeLiveView, APendantThatReportsOnChangeIsToldSoOnce) {
  const std::string pendant = hid.AddPendant().path;
  view.Start();
  Said();
  for (int i = 0; i < 500; ++i) view.Step();
  EXPECT_THAT(Said(), HasSubstr("Report rate: no report in 2 s. A pendant that reports on change is quiet"));
  Send(pendant, kShiftJogXPlus);
  Send(pendant, kIdle);
  for (int i = 0; i < 500; ++i) view.Step();
  EXPECT_THAT(Said(), HasSubstr("the pendant reports on change: it sends a report only when a button changes (2 in"));
  for (int i = 0; i < 1000; ++i) view.Step();
  EXPECT_EQ(Said(), "");  // quiet between changes is what such a pendant does
}

}  // namespace
}  // namespace quenta::probe
