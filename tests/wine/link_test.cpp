// The pendant link of the real DLL over named-pipe pendants: discovery,
// reports in and out, the driver's queue, hot-plug, a device that vanishes
// or takes no reports, and the arguments of its timer, waits and
// notification registration at the Win32 boundary.
#include <algorithm>

#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool Waited(ImportWatch& watch, DWORD timeoutMs) {
  const auto& waits = watch.Waits();
  return std::any_of(waits.begin(), waits.end(), [timeoutMs](const WaitCall& w) { return w.timeoutMs == timeoutMs; });
}

TEST_F(WinePluginTest, DiscoveryTakesTheFirstPendantAmongOtherDevices) {
  PipeDevice& mouse = driver->Bus().AddOther();  // enumerated before the pendants
  driver->SetPendantCount(2);
  Start();
  const auto& pendants = driver->Pendants();
  EXPECT_EQ(pendants[0]->Clients(), 2);  // read and write handles
  EXPECT_EQ(pendants[1]->Clients(), 0);
  EXPECT_EQ(mouse.Clients(), 0);         // its attribute query was closed again

  Poll(Pressed({kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
}

TEST_F(WinePluginTest, ReportsCrossThePipeByteForByte) {
  host.SetLed(800, true);
  host.SetLed(805, true);
  host.SetDro(3, 50);  // rate jog at 50: indicator 2
  Start();
  // Bits 0-7, 29-31 and bytes 4-7 are no buttons; bit 9 with shift is the E-stop chord.
  Poll({0xFF, 0x03, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(Calls(), DoButtons({1021}));
  driver->Poll();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(driver->TakeWritten(), (std::vector<Bytes>{{0x00, 0x09, 0x02, 0x00, 0x00}, {0x00, 0x09, 0x02, 0x00, 0x00}}));

  host.SetLed(800, false);
  host.SetLed(805, false);
  host.SetLed(804, true);
  driver->Poll();
  EXPECT_EQ(driver->TakeWritten(), (std::vector<Bytes>{{0x00, 0x04, 0x02, 0x00, 0x00}}));
}

// The constants live at the Win32 boundary, where no test of the core sees them.
TEST_F(WinePluginTest, TheTimerTheReadWaitAndTheWriteBoundHaveTheirPeriods) {
  driver->SetPendantWrites(PipeDevice::Writes::NeverAccepted);
  Start();
  const HWND window = driver->View().PluginWindow();
  ASSERT_EQ(driver->Watch().Timers().size(), 1u);
  EXPECT_EQ(driver->Watch().Timers()[0].window, window);
  EXPECT_EQ(driver->Watch().Timers()[0].id, 1u);
  EXPECT_EQ(driver->Watch().Timers()[0].periodMs, 25u);

  driver->Watch().Waits().clear();
  driver->Poll();  // no report: the first read waits, the write is bounded
  EXPECT_TRUE(Waited(driver->Watch(), 5));
  EXPECT_TRUE(Waited(driver->Watch(), 20));
  for (const WaitCall& wait : driver->Watch().Waits()) EXPECT_LE(wait.timeoutMs, 20u);
  driver->Watch().Waits().clear();
  driver->SendReports(Pressed({kEStopBit}), 3);
  driver->Poll();  // reports queued: the reads after the first take what is there without waiting
  EXPECT_LE(std::count_if(driver->Watch().Waits().begin(), driver->Watch().Waits().end(),
                          [](const WaitCall& w) { return w.timeoutMs == 5; }),
            1);
  EXPECT_TRUE(Waited(driver->Watch(), 0));
  EXPECT_EQ(Calls(), DoButtons({1021}));
}

TEST_F(WinePluginTest, TheWindowRegistersForHidNotificationsEvenWithoutAPendant) {
  driver->SetPendantCount(0);
  Start();
  EXPECT_EQ(driver->Watch().HidNotificationWindow(), driver->View().PluginWindow());
  EXPECT_EQ(driver->Watch().BadRegistrations(), 0);
  driver->Plug();
  Poll(Pressed({kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
  driver->Stop();
  EXPECT_EQ(driver->Watch().HidNotificationWindow(), nullptr);  // unregistered with the window
}

TEST_F(WinePluginTest, EveryQueuedReportIsActedOnInOnePollAndTheOldestAreDropped) {
  Start();
  driver->Poll();  // leaves a read outstanding
  driver->SendReports(InputReport{}, 1);
  driver->SendReports(Pressed({kEStopBit}), 1);  // pushed out of the driver's queue by the 32 after it
  driver->SendReports(InputReport{}, 32);
  EXPECT_EQ(driver->Pendants().front()->Queued(), 32);
  driver->Poll();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(driver->Pendants().front()->Queued(), 0);
  driver->SendReports(Pressed({kEStopBit}), 1);
  driver->SendReports(InputReport{}, 24);
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->Pendants().front()->Queued(), 0);
  EXPECT_EQ(driver->TakeWritten().size(), 3u);  // one output report per poll
}

TEST_F(WinePluginTest, AReportAfterTheWaitCompletesTheOutstandingReadWhole) {
  Start();
  Poll(InputReport{});
  driver->Poll();  // nothing comes: the read stays outstanding
  EXPECT_TRUE(Calls().empty());
  driver->SendReports(Pressed({kEStopBit}), 1);
  driver->SendReports(InputReport{}, 1);
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
}

TEST_F(WinePluginTest, UnplugStopsTheMachineOnceAndReplugAtTheSamePathWorks) {
  Start();
  driver->Poll();
  Calls();
  driver->TakeWritten();

  driver->Unplug(false);
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->Pendants().front()->Clients(), 0);
  const int callbacksBefore = hostCallbacks;
  Poll(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_EQ(hostCallbacks, callbacksBefore);  // not even GetLED
  EXPECT_TRUE(driver->TakeWritten().empty());
  driver->OtherLeaves();
  EXPECT_TRUE(Calls().empty());  // a second removal, of another device: nothing

  driver->Replug();
  EXPECT_EQ(driver->Pendants().front()->Clients(), 2);
  Poll(Pressed({kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
}

TEST_F(WinePluginTest, APendantThatVanishesSilentlyIsLostOnceAtItsFailedRead) {
  Start();
  driver->Poll();
  driver->Unplug(true);
  EXPECT_TRUE(Calls().empty());
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  driver->Poll();
  EXPECT_TRUE(Calls().empty());
  driver->Replug();
  EXPECT_EQ(driver->Pendants().front()->Clients(), 2);
}

TEST_F(WinePluginTest, OtherDevicesComingAndGoingNeverDisturbThePendant) {
  Start();
  driver->Poll();
  for (int i = 0; i < 5; ++i) {
    driver->OtherArrives();
    EXPECT_EQ(driver->Pendants().front()->Clients(), 2) << "arrival " << i;  // the old handles were closed
  }
  driver->OtherLeaves();
  driver->OtherLeaves();
  EXPECT_EQ(driver->Pendants().front()->Clients(), 2);
  EXPECT_TRUE(Calls().empty());
  Poll(Pressed({kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
  driver->TakeWritten();
  driver->Poll();
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
}

TEST_F(WinePluginTest, AnArrivalActsOnWhatTheOldHandleStillHolds) {
  Start();
  driver->Poll();  // a read is now outstanding on the old handle
  driver->SendReports(Pressed({kEStopBit}), 1);
  driver->SendReports(InputReport{}, 1);
  driver->OtherArrives();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->Pendants().front()->Clients(), 2);
  Poll(Pressed({kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
}

// At an arrival the old read handle gives up everything it holds, a report
// that completes its outstanding read as it is cancelled included, and
// closes before the new handles open: a tap sent at that moment is acted on
// once, not once per handle. Every cancel is of the plug-in's own overlapped record.
TEST_F(WinePluginTest, AnArrivalTakesWhatTheOldHandleHoldsAndClosesItBeforeOpeningAgain) {
  Start();
  driver->Poll();  // a read is now outstanding on the old handle
  driver->Watch().HandleEvents().clear();
  driver->Watch().BeforeNextCancel([this] {
    driver->SendReports(Pressed({kEStopBit}), 1);
    driver->SendReports(InputReport{}, 1);
  });
  driver->OtherArrives();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  driver->Poll();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(driver->Watch().WholeHandleCancels(), 0);

  const std::vector<HandleEvent>& events = driver->Watch().HandleEvents();
  const auto readerOpened = std::find_if(events.begin(), events.end(), [](const HandleEvent& e) {
    return e.opened && (e.access & GENERIC_READ) != 0;
  });
  const auto firstClosed = std::find_if(events.begin(), events.end(), [](const HandleEvent& e) { return !e.opened; });
  ASSERT_NE(readerOpened, events.end());
  ASSERT_NE(firstClosed, events.end());
  EXPECT_LT(firstClosed - events.begin(), readerOpened - events.begin());
}

// A write the device never takes, whose cancel does not end it either
// (CancelIoEx lets some operations run on to completion): the poll waits a
// bounded time and goes on, and while that write is the system's the next
// output reports are dropped, not written over its buffer.
TEST_F(WinePluginTest, AWriteThatNeverEndsHoldsUpNoPollAndTheNextReportsAreDropped) {
  driver->SetPendantWrites(PipeDevice::Writes::NeverAccepted);
  Start();
  driver->Watch().IgnoreCancels(true);
  driver->Watch().Waits().clear();
  const int writes = driver->Watch().WriteCalls();
  driver->Poll();
  driver->Poll();
  Poll(Pressed({kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->Watch().WriteCalls() - writes, 1);
  for (const WaitCall& wait : driver->Watch().Waits()) EXPECT_LE(wait.timeoutMs, 20u);
  driver->Watch().IgnoreCancels(false);  // StopPlug's cancel ends it
}

// The host destroys its view, and the plug-in's child window with it: the
// running jog ends at once, and the poll goes on under the plug-in's own
// window, device notifications included. The jog button still held starts
// nothing until it was let go.
TEST_F(WinePluginTest, WhenTheHostDestroysItsViewTheJogEndsAndThePollGoesOn) {
  Start();
  Poll(Pressed({19}));
  Poll(InputReport{});
  Poll(Pressed({10}));
  EXPECT_EQ(Calls(), DoButtons({205, 307}));
  const HWND child = driver->View().PluginWindow();
  driver->View().Destroy();
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(Calls(), DoButtons({334}));
  const HWND own = driver->Watch().TimerWindow();
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(GetParent(own), nullptr);
  EXPECT_EQ(driver->Watch().HidNotificationWindow(), own);
  Poll(Pressed({10}));
  Poll(Pressed({10, kEStopBit}));
  EXPECT_EQ(Calls(), DoButtons({1021}));
  Poll(InputReport{});
  Poll(Pressed({10}));
  EXPECT_EQ(Calls(), DoButtons({307}));
  driver->Unplug(false);
  EXPECT_EQ(Calls(), DoButtons({1021}));
}

// A host whose DoButton stops the plug-in (its own message loop closing it):
// the running poll keeps its object, acts on no further report and writes
// no output report.
void (*stopPlug)() = nullptr;
int doButtons = 0;
void StopFromInside(short) {
  ++doButtons;
  stopPlug();
}

TEST_F(WinePluginTest, AStopPlugFromInsideAPollEndsItSafely) {
  Start();
  Poll(InputReport{});
  driver->TakeWritten();
  stopPlug = driver->Dll()->StopPlug;
  doButtons = 0;
  driver->Dll()->SetDoButton(&StopFromInside);
  driver->SendReports(Pressed({kEStopBit}), 1);
  driver->SendReports(InputReport{}, 1);
  driver->SendReports(Pressed({kEStopBit}), 1);
  driver->View().SendTimer();
  EXPECT_EQ(doButtons, 1);
  EXPECT_EQ(driver->View().PluginWindow(), nullptr);
  driver->Bus().Pump();
  EXPECT_EQ(driver->Pendants().front()->Clients(), 0);
  EXPECT_TRUE(driver->TakeWritten().empty());
}

}  // namespace
}  // namespace quenta::wine
