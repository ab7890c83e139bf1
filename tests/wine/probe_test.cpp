// The probe's core in this process over the plug-in's own Win32 HID layer,
// linked against the fake SetupAPI and HID, with pendants served as named
// pipes: what it lists, shows and measures, and how it meets an unplug.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "device/hid_system_win32.h"
#include "probe/led_tour.h"
#include "probe/live_view.h"
#include "probe/once_check.h"
#include "probe/probe_exit.h"
#include "tests/support/manual_clock.h"
#include "tests/wine/fake_hid_bus.h"
#include "tests/wine/import_watch.h"
#include "tests/wine/pipe_device.h"

namespace quenta::wine {
namespace {

using probe::LiveView;
using probe::ManualClock;
using ::testing::AllOf;
using ::testing::HasSubstr;

const InputReport kIdle{};
const InputReport kShiftJogXPlus{0x00, 0x05, 0x00, 0x00, 0, 0, 0, 0};

class WineProbe : public ::testing::Test {
 protected:
  std::string Said() {
    const std::string text = out.str();
    out.str("");
    return text;
  }
  // The pendant sends one report; the probe takes a round.
  void Send(PipeDevice& pendant, const InputReport& report) {
    bus.Pump();
    EXPECT_TRUE(pendant.SendReport(report));
    view.Step();
  }

  PipeHidBus bus;
  // Points this program's own imports at the recorders: a pipe whose server
  // left then fails the probe's reads as a removed device's handle does.
  ImportWatch watch{GetModuleHandleA(nullptr)};
  std::unique_ptr<HidSystem> hid = CreateWin32HidSystem();
  ManualClock clock;
  std::ostringstream out;
  LiveView view{*hid, out, clock};
};

TEST_F(WineProbe, ListsTheInterfacesOpensThePendantAndShowsAPressByName) {
  bus.AddOther();
  PipeDevice& pendant = bus.AddPendant();
  view.Start();
  EXPECT_THAT(Said(), AllOf(HasSubstr("HID interfaces present: 2\n  1. 046D:C077  \\\\.\\pipe\\hid#vid_046d&pid_c077#"),
                            HasSubstr("2. 04D8:FCEB  " + pendant.Path() + "  <- the pendant\n"),
                            HasSubstr("Reading the pendant " + pendant.Path())));
  bus.Pump();
  EXPECT_EQ(pendant.Clients(), 1);  // the reader; the identity query was closed again
  Send(pendant, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("  Shift + Jog X+                        raw 00 05 00 00 00 00 00 00\n"));
  Send(pendant, kIdle);
  EXPECT_THAT(Said(), HasSubstr("  no button "));
}

TEST_F(WineProbe, NoPendantIsToldAndOneThatArrivesIsTaken) {
  bus.AddOther();
  view.Start();
  EXPECT_THAT(Said(), HasSubstr("No pendant (USB identity 04D8:FCEB) is plugged in."));
  EXPECT_EQ(probe::RunOnce(*hid, out, clock), probe::kExitNotFound);
  EXPECT_THAT(Said(), HasSubstr("NOT FOUND: no pendant (USB identity 04D8:FCEB) among the 1 HID interfaces"));
  PipeDevice& pendant = bus.AddPendant();
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("A pendant was plugged in: " + pendant.Path()));
  Send(pendant, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("Shift + Jog X+"));
}

TEST_F(WineProbe, OfTwoPendantsTheFirstIsReadAndTheOtherNamed) {
  PipeDevice& first = bus.AddPendant();
  PipeDevice& second = bus.AddPendant();
  view.Start();
  EXPECT_THAT(Said(), AllOf(HasSubstr("2 pendants are plugged in. The plug-in takes only the first one Windows "
                                      "lists,\n  " + first.Path()),
                            HasSubstr("Unplug the other so that you know which pendant you are using:\n  " +
                                      second.Path())));
  bus.Pump();
  EXPECT_EQ(first.Clients(), 1);
  EXPECT_EQ(second.Clients(), 0);
  Send(first, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("Shift + Jog X+"));
}

TEST_F(WineProbe, AnUnplugWhileItRunsIsToldAndThePendantIsReadAgainWhenBack) {
  PipeDevice& pendant = bus.AddPendant();
  view.Start();
  Send(pendant, kShiftJogXPlus);
  Said();
  bus.Unplug(pendant);
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("The pendant is gone: it was unplugged"));
  view.Step();
  EXPECT_EQ(Said(), "");
  bus.Replug(pendant);
  view.Step();
  EXPECT_THAT(Said(), HasSubstr("The pendant is back: " + pendant.Path()));
  Send(pendant, kShiftJogXPlus);
  EXPECT_THAT(Said(), HasSubstr("Shift + Jog X+"));
}

// The rate as the probe prints it.
double PrintedRate(const std::string& said) {
  const std::size_t at = said.find("Report rate: ");
  if (at == std::string::npos) return 0;
  return std::strtod(said.c_str() + at + 13, nullptr);
}

TEST_F(WineProbe, TheRateOfAStreamingPendantIsMeasuredWithinATenth) {
  PipeDevice& pendant = bus.AddPendant();
  view.Start();
  Said();
  // 125 reports a second for 2 s of the probe's clock, each read as it comes.
  for (int i = 0; i < 250; ++i) {
    clock.Advance(8);
    Send(pendant, kIdle);
  }
  const std::string said = Said();
  EXPECT_THAT(said, HasSubstr("The pendant streams"));
  EXPECT_NEAR(PrintedRate(said), 125.0, 12.5) << said;
}

// A clock whose sleeps are the pendant's chance to send.
class PendantDuringSleeps : public ManualClock {
 public:
  PendantDuringSleeps(PipeHidBus& bus, PipeDevice& pendant) : bus_(bus), pendant_(pendant) {}
  void Sleep(unsigned ms) override {
    ManualClock::Sleep(ms);
    bus_.Pump();
    pendant_.SendReport(kShiftJogXPlus);
  }

 private:
  PipeHidBus& bus_;
  PipeDevice& pendant_;
};

TEST_F(WineProbe, OnceIsZeroForAReportingPendantAndTwoForASilentOne) {
  PipeDevice& pendant = bus.AddPendant();
  PendantDuringSleeps reporting(bus, pendant);
  EXPECT_EQ(probe::RunOnce(*hid, out, reporting), probe::kExitOk);
  EXPECT_EQ(Said(), "OK: pendant " + pendant.Path() + " reports; buttons down: Shift + Jog X+.\n");
  EXPECT_EQ(probe::RunOnce(*hid, out, clock), probe::kExitCannotUse);
  EXPECT_THAT(Said(), HasSubstr("NO REPORT: pendant " + pendant.Path() + " opened but sent no report in 3 s."));
}

TEST_F(WineProbe, TheLedTourReachesThePendantByteForByte) {
  PipeDevice& pendant = bus.AddPendant();
  int checks = 0;
  // Ctrl+C during the second step's wait: three reports, the last one all dark.
  EXPECT_EQ(probe::RunLedTour(*hid, out, clock, [&checks] { return ++checks > 15; }), probe::kExitOk);
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(pendant.TakeWritten(), (std::vector<Bytes>{{0, 0x01, 0, 0, 0}, {0, 0x04, 0, 0, 0}, {0, 0, 0, 0, 0}}));
}

// A device that another program holds with no sharing: a file here, opened
// exclusively, whose name carries the pendant's identity.
TEST_F(WineProbe, APendantHeldExclusivelyIsInUse) {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string path =
      std::string(folder) + "hid#vid_04d8&pid_fceb#held" + std::to_string(GetCurrentProcessId());
  const HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  SetEnvironmentVariableA(kFakeHidPathsVariable, path.c_str());
  EXPECT_EQ(probe::RunOnce(*hid, out, clock), probe::kExitCannotUse);
  EXPECT_THAT(Said(), HasSubstr("CANNOT OPEN: pendant " + path + ": it is in use: another program holds it"));
  CloseHandle(holder);
}

}  // namespace
}  // namespace quenta::wine
