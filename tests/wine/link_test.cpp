// The pendant link of the real DLL over named-pipe pendants: discovery,
// reports in and out, stalls, hot-plug and a device that takes no reports.
#include <algorithm>
#include <cstdio>

#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST_F(WinePluginTest, DiscoveryTakesTheFirstPendantAmongOtherDevices) {
  PipeDevice& mouse = driver->Bus().AddOther();  // enumerated before the pendants
  driver->SetPendantCount(2);
  Start();
  const auto& pendants = driver->Pendants();
  EXPECT_EQ(pendants[0]->Clients(), 2);  // read and write handles
  EXPECT_EQ(pendants[1]->Clients(), 0);
  EXPECT_EQ(mouse.Clients(), 0);         // its attribute query was closed again

  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
}

TEST_F(WinePluginTest, ReportsCrossThePipeByteForByte) {
  host.SetLed(800, true);
  host.SetLed(805, true);
  host.SetDro(3, 50);  // rate jog at 50: indicator 2
  Start();
  // Bits 0-7, 29-31 and bytes 4-7 are no buttons; bit 9 with shift is the E-stop chord.
  driver->SetReport({0xFF, 0x03, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF});
  driver->Poll();
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

TEST_F(WinePluginTest, AStalledReadReusesThePreviousButtons) {
  Start();
  driver->Poll();
  driver->SetReport(Pressed({kEStopBit}));
  driver->Stall(1);
  driver->Poll();
  EXPECT_TRUE(Calls().empty());  // the press is not seen yet
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));  // the late report, taken whole

  // Released only while the reads stall: the button still reads down, so
  // the press that follows makes no new edge.
  driver->SetReport(InputReport{});
  driver->Stall(2);
  driver->Poll();
  driver->Poll();
  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_TRUE(Calls().empty());
  driver->SetReport(InputReport{});
  driver->Poll();
  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
}

TEST_F(WinePluginTest, UnplugStopsTheMachineOnceAndReplugAtTheSamePathWorks) {
  Start();
  driver->Poll();
  Calls();
  driver->TakeWritten();

  driver->Unplug();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->Pendants().front()->Clients(), 0);
  const int callbacksBefore = hostCallbacks;
  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  driver->Poll();
  EXPECT_EQ(hostCallbacks, callbacksBefore);  // not even GetLED
  EXPECT_TRUE(driver->TakeWritten().empty());
  driver->OtherLeaves();
  EXPECT_TRUE(Calls().empty());  // a second removal, of another device: nothing

  driver->Replug();
  EXPECT_EQ(driver->Pendants().front()->Clients(), 2);
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
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
  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
  driver->TakeWritten();
  driver->Poll();
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
}

TEST_F(WinePluginTest, AnArrivalWhileAReadIsOutstandingLosesNothing) {
  Start();
  driver->Poll();
  driver->Stall(1);
  driver->Poll();  // a read is now outstanding on the old handle
  driver->OtherArrives();
  EXPECT_EQ(driver->Pendants().front()->Clients(), 2);
  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_EQ(Calls(), DoButtons({1021}));
}

TEST_F(WinePluginTest, APendantLaterPluggedInIsNeverSeenWithoutADiscoveryMatch) {
  driver->SetPendantCount(0);
  Start();
  driver->Replug();
  driver->SetReport(Pressed({kEStopBit}));
  driver->Poll();
  EXPECT_EQ(hostCallbacks, 0);
  EXPECT_EQ(driver->Pendants().front()->Clients(), 0);
}

TEST_F(WinePluginTest, APendantThatNeverTakesAReportDoesNotHoldThePoll) {
  driver->SetPendantWrites(PipeDevice::Writes::NeverAccepted);
  Start();
  driver->SetReport(Pressed({kEStopBit}));
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  double longestMs = 0;
  for (int i = 0; i < 5; ++i) {
    QueryPerformanceCounter(&before);
    driver->Poll();
    QueryPerformanceCounter(&after);
    longestMs = std::max(longestMs, 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                                        static_cast<double>(frequency.QuadPart));
  }
  std::printf("longest poll with a pendant that takes no report: %.1f ms\n", longestMs);
  EXPECT_LT(longestMs, 1000.0);
  EXPECT_EQ(Calls(), DoButtons({1021}));  // reading still works
}

}  // namespace
}  // namespace quenta::wine
