#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>

#include "device/pandrel_win.h"
#include "sim/virtual_hid.h"
#include "tests/unit/recording_host.h"

namespace quenta {
namespace {

using ::testing::ElementsAre;
using testing_support::RecordingHost;

constexpr std::uint8_t kEStopByte1 = 0x02;  // button bit 9

class PendantLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { host.Install(); }

  void Press(std::uint8_t byte1) { hid.report = InputReport{0, byte1, 0, 0, 0, 0, 0, 0}; }
  void Remove(const std::string& path) {
    const auto record = DeviceInterfaceBroadcast(path);
    link.OnDeviceChange(kDeviceRemoveComplete, record.data());
  }
  void Arrive() { link.OnDeviceChange(kDeviceArrival, nullptr); }

  RecordingHost host;
  VirtualHidSystem hid;
  VirtualLinkWindow window;
  PandrelWin link{hid, window};
};

TEST_F(PendantLinkTest, DiscoveryTakesTheFirstPendantAmongOtherDevicesAndStops) {
  hid.AddOtherDevice(0x046D, 0xC077);
  const std::string first = hid.AddPendant().path;
  hid.AddPendant();
  hid.AddOtherDevice(0x04D8, 0x0001);

  EXPECT_TRUE(link.FindPendant());
  EXPECT_TRUE(link.Connected());
  EXPECT_EQ(link.PendantPath(), first);
  EXPECT_EQ(hid.attributeQueries, 2);  // the search stopped at the match
  EXPECT_TRUE(window.registered);
  EXPECT_EQ(window.timerStarts, 1);
  EXPECT_EQ(hid.openHandles, 2);
}

TEST_F(PendantLinkTest, NoPendantLeavesTheLinkIdleButStillStartsTheTimer) {
  hid.AddOtherDevice(0x046D, 0xC077);
  EXPECT_FALSE(link.FindPendant());
  EXPECT_FALSE(link.Connected());
  EXPECT_TRUE(link.PendantPath().empty());
  EXPECT_FALSE(window.registered);  // so no later arrival is ever heard of
  EXPECT_EQ(window.timerStarts, 1);

  link.OnTimer();
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.ledReads, 0);
  EXPECT_TRUE(hid.written.empty());
}

TEST_F(PendantLinkTest, EachPollWritesTheLedsAndTheIndicator) {
  hid.AddPendant();
  link.FindPendant();
  host.leds[800] = true;
  host.leds[805] = true;
  link.OnTimer();
  ASSERT_EQ(hid.written.size(), 1u);
  // A jog rate of 0 (DRO 3 unset) is indicator class 11.
  EXPECT_EQ(hid.written.back(), (OutputReport{0x00, 0x09, 0x0B, 0x00, 0x00}));
  host.leds[800] = false;
  host.leds[804] = true;
  link.OnTimer();
  EXPECT_EQ(hid.written.back(), (OutputReport{0x00, 0x0C, 0x0B, 0x00, 0x00}));
}

TEST_F(PendantLinkTest, UnplugSends1021OnceClosesHandlesAndSilencesPolls) {
  const std::string path = hid.AddPendant().path;
  link.FindPendant();
  link.OnTimer();
  host.Take();
  const int reads = host.ledReads;

  hid.devices[0].present = false;
  Remove(path);
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));
  EXPECT_FALSE(link.Connected());
  EXPECT_EQ(hid.openHandles, 0);

  const std::size_t written = hid.written.size();
  link.OnTimer();
  link.OnTimer();
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.ledReads, reads);
  EXPECT_EQ(hid.written.size(), written);

  Remove(path);  // a repeated removal finds nothing to close but still names the pendant
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));
}

TEST_F(PendantLinkTest, RemovalMatchesThePathIgnoringCaseAndIgnoresOtherDevices) {
  const std::string path = hid.AddPendant().path;
  const std::string other = hid.AddOtherDevice(0x046D, 0xC077).path;
  link.FindPendant();

  Remove(other);
  EXPECT_TRUE(link.Connected());
  EXPECT_TRUE(host.calls.empty());

  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Remove(upper);
  EXPECT_FALSE(link.Connected());
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));
}

TEST_F(PendantLinkTest, ReplugAtTheSamePathWorksAgain) {
  const std::string path = hid.AddPendant().path;
  link.FindPendant();
  hid.devices[0].present = false;
  Remove(path);
  host.Take();

  hid.devices[0].present = true;
  Arrive();
  EXPECT_TRUE(link.Connected());
  EXPECT_EQ(hid.openHandles, 2);
  Press(kEStopByte1);
  link.OnTimer();
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));
}

TEST_F(PendantLinkTest, RepeatedArrivalsReopenWithoutLeakingHandles) {
  hid.AddPendant();
  link.FindPendant();
  for (int i = 0; i < 5; ++i) Arrive();
  EXPECT_EQ(hid.openHandles, 2);
}

TEST_F(PendantLinkTest, ArrivalWhoseOpensFailStaysConnectedAndSkipsReadAndWrite) {
  hid.AddPendant();
  link.FindPendant();
  hid.failOpens = true;
  Arrive();
  EXPECT_TRUE(link.Connected());
  EXPECT_FALSE(link.ReadHandleOpen());
  EXPECT_FALSE(link.WriteHandleOpen());
  const std::size_t written = hid.written.size();
  link.OnTimer();
  EXPECT_GT(host.ledReads, 0);  // the rest of the cycle still runs
  EXPECT_EQ(hid.written.size(), written);
}

TEST_F(PendantLinkTest, AStalledReadReusesThePreviousButtonsWithoutANewEdge) {
  hid.AddPendant();
  link.FindPendant();
  Press(kEStopByte1);
  link.OnTimer();
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));

  // Released on the pendant, but the report never arrives: still held, no edge.
  Press(0);
  hid.stalledReads = 1;
  link.OnTimer();
  Press(kEStopByte1);
  link.OnTimer();
  EXPECT_TRUE(host.Take().empty());

  Press(0);
  link.OnTimer();
  Press(kEStopByte1);
  link.OnTimer();
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));
}

TEST_F(PendantLinkTest, AReportThatCompletesLateIsTakenWholeInTheNextCycle) {
  hid.AddPendant();
  link.FindPendant();
  Press(kEStopByte1);
  hid.lateReads = 1;
  link.OnTimer();
  EXPECT_TRUE(host.Take().empty());
  Press(0);  // the late report carries the press, whatever the pendant holds now
  link.OnTimer();
  EXPECT_THAT(host.Take(), ElementsAre("DoButton 1021"));
}

TEST(BroadcastRecord, NameIsReadOnlyFromDeviceInterfaceRecordsWithinTheirSize) {
  EXPECT_EQ(BroadcastInterfaceName(nullptr), "");
  auto record = DeviceInterfaceBroadcast("\\\\?\\hid#x");
  EXPECT_EQ(BroadcastInterfaceName(record.data()), "\\\\?\\hid#x");

  record[4] = 2;  // a volume record
  EXPECT_EQ(BroadcastInterfaceName(record.data()), "");

  auto unterminated = DeviceInterfaceBroadcast("\\\\?\\hid#abcdef");
  unterminated.back() = 'Z';
  EXPECT_EQ(BroadcastInterfaceName(unterminated.data()), "\\\\?\\hid#abcdefZ");

  auto header = DeviceInterfaceBroadcast("");
  header[0] = 12;  // a bare header: no name to read
  EXPECT_EQ(BroadcastInterfaceName(header.data()), "");
}

}  // namespace
}  // namespace quenta
