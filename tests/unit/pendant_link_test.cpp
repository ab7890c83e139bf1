#include <gtest/gtest.h>

#include <cctype>

#include "device/pendant_link.h"
#include "sim/native_module.h"

namespace quenta {
namespace {

constexpr std::uint8_t kEStopByte1 = 0x02;  // button bit 9
constexpr std::uint8_t kJogXByte1 = 0x04;   // button bit 10
constexpr std::uint8_t kJogStepByte2 = 0x08;  // button bit 19: step jog mode

InputReport Report(std::uint8_t byte1, std::uint8_t byte2 = 0) { return InputReport{0, byte1, byte2, 0, 0, 0, 0, 0}; }

class PendantLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.SetCallHook([this](sim::HostCallKind kind, int) { ledReads += kind == sim::HostCallKind::GetLED; });
  }
  std::string Take() { return sim::FormatCalls(host.TakeCalls()); }
  // The host's start-up, which runs discovery.
  bool FindPendant() {
    module.Start("");
    return Link().Connected();
  }
  PandrelWin& Link() { return *module.Link(); }

  void Remove(const std::string& path) {
    const auto record = DeviceInterfaceBroadcast(path);
    module.DeviceChange(kDeviceRemoveComplete, record.data());
  }
  void Arrive() { module.DeviceChange(kDeviceArrival, nullptr); }
  // One poll of a pendant that reports once per poll period.
  void Poll(const InputReport& report) {
    hid.Send(pendant, report);
    module.Timer();
  }
  // From a fresh start to a jog of X started in step jog mode.
  void StartJoggingX() {
    Poll(Report(0, kJogStepByte2));
    Poll(Report(0));
    Poll(Report(kJogXByte1));
    ASSERT_EQ(Take(), "DoButton 205; DoButton 307");
  }

  sim::ScriptedHost host;
  int ledReads = 0;
  sim::NativeModule module{host};
  VirtualHidSystem& hid = module.Hid();
  SiteRecord& window = module.Site();
  std::string pendant;
};

TEST_F(PendantLinkTest, DiscoveryTakesTheFirstPendantRegistersAndStartsTheTimer) {
  hid.AddOtherDevice(0x046D, 0xC077);
  pendant = hid.AddPendant().path;
  hid.AddPendant();
  hid.AddOtherDevice(0x04D8, 0x0001);

  EXPECT_TRUE(FindPendant());
  EXPECT_TRUE(Link().Connected());
  EXPECT_EQ(Link().PendantPath(), pendant);
  EXPECT_EQ(hid.attributeQueries, 2);  // the search stopped at the match
  EXPECT_TRUE(window.registered);
  EXPECT_EQ(window.timerStarts, 1);
  EXPECT_EQ(hid.openHandles, 2);
}

TEST_F(PendantLinkTest, APendantPluggedInAfterStartUpIsFoundAtItsArrival) {
  hid.AddOtherDevice(0x046D, 0xC077);
  EXPECT_FALSE(FindPendant());
  EXPECT_TRUE(window.registered);  // so that the arrival is heard of
  EXPECT_EQ(window.timerStarts, 1);
  module.Timer();
  EXPECT_EQ(Take(), "nothing");
  EXPECT_EQ(ledReads, 0);

  Arrive();  // another device: still nothing to find
  EXPECT_FALSE(Link().Connected());
  EXPECT_EQ(hid.openHandles, 0);

  pendant = hid.AddPendant().path;
  Arrive();
  EXPECT_TRUE(Link().Connected());
  Poll(Report(kEStopByte1));
  EXPECT_EQ(Take(), "DoButton 1021");
  EXPECT_EQ(hid.written.size(), 1u);
}

TEST_F(PendantLinkTest, EachPollAsksTheLedsOnceAndWritesOneReport) {
  pendant = hid.AddPendant().path;
  FindPendant();
  host.SetLed(800, true);
  host.SetLed(805, true);
  hid.Send(pendant, Report(0), 5);
  module.Timer();
  ASSERT_EQ(hid.written.size(), 1u);
  EXPECT_EQ(ledReads, 3);
  // A jog rate of 0 (DRO 3 unset) is indicator class 11.
  EXPECT_EQ(hid.written.back(), (OutputReport{0x00, 0x09, 0x0B, 0x00, 0x00}));
  host.SetLed(800, false);
  host.SetLed(804, true);
  module.Timer();
  EXPECT_EQ(hid.written.back(), (OutputReport{0x00, 0x0C, 0x0B, 0x00, 0x00}));
}

TEST_F(PendantLinkTest, UnplugStopsTheMachineOnceUnlessItIsAlreadyStopped) {
  pendant = hid.AddPendant().path;
  FindPendant();
  Poll(Report(0));
  host.TakeCalls();
  const int reads = ledReads;
  const std::size_t written = hid.written.size();

  hid.Unplug(pendant);
  Remove(pendant);
  EXPECT_EQ(Take(), "DoButton 1021");
  EXPECT_FALSE(Link().Connected());
  EXPECT_EQ(hid.openHandles, 0);
  module.Timer();
  EXPECT_EQ(ledReads, reads + 1);  // only the removal's own look at LED 800
  EXPECT_EQ(hid.written.size(), written);
  Remove(pendant);  // a repeated removal: the link is already down
  EXPECT_EQ(Take(), "nothing");

  // 1021 toggles the E-stop: with LED 800 lit it would take the machine out of it.
  hid.Replug(pendant);
  Arrive();
  host.SetLed(800, true);
  hid.Unplug(pendant);
  Remove(pendant);
  EXPECT_EQ(Take(), "nothing");
  EXPECT_FALSE(Link().Connected());
}

TEST_F(PendantLinkTest, RemovalMatchesThePathIgnoringCaseAndIgnoresOtherDevices) {
  pendant = hid.AddPendant().path;
  const std::string other = hid.AddOtherDevice(0x046D, 0xC077).path;
  FindPendant();

  Remove(other);
  EXPECT_TRUE(Link().Connected());
  EXPECT_EQ(Take(), "nothing");

  std::string upper = pendant;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Remove(upper);
  EXPECT_FALSE(Link().Connected());
  EXPECT_EQ(Take(), "DoButton 1021");
}

TEST_F(PendantLinkTest, ReplugAtTheSamePathOrAnotherPortWorksAgain) {
  pendant = hid.AddPendant().path;
  FindPendant();
  hid.Unplug(pendant);
  Remove(pendant);
  host.TakeCalls();

  hid.Replug(pendant);
  Arrive();
  EXPECT_TRUE(Link().Connected());
  EXPECT_EQ(hid.openHandles, 2);
  Poll(Report(kEStopByte1));
  EXPECT_EQ(Take(), "DoButton 1021");

  hid.Unplug(pendant);
  Remove(pendant);
  host.TakeCalls();
  pendant = hid.AddPendant().path;  // another USB port
  Arrive();
  EXPECT_EQ(Link().PendantPath(), pendant);
  Poll(Report(0));
  Poll(Report(kEStopByte1));
  EXPECT_EQ(Take(), "DoButton 1021");
}

TEST_F(PendantLinkTest, AForeignArrivalWhileThePendantIsAwayChangesNothing) {
  pendant = hid.AddPendant().path;
  FindPendant();
  host.SetLed(800, true);  // already in E-stop: the removal sends nothing
  Poll(Report(kEStopByte1 | 0x01));  // the Shift chord is held while the cable comes out
  hid.Unplug(pendant);
  Remove(pendant);
  EXPECT_EQ(Take(), "DoButton 1021");  // the chord itself, at its press

  Arrive();
  module.Timer();
  module.Timer();
  EXPECT_FALSE(Link().Connected());
  EXPECT_EQ(Take(), "nothing");
  EXPECT_EQ(hid.openHandles, 0);
}

TEST_F(PendantLinkTest, AnArrivalActsOnTheReportsTheOldHandleHoldsBeforeReopening) {
  pendant = hid.AddPendant().path;
  FindPendant();
  StartJoggingX();
  // A pendant that reports on change: the release waits in the old handle's queue.
  hid.Send(pendant, Report(0));
  Arrive();
  EXPECT_EQ(Take(), "DoButton 334");
  EXPECT_EQ(hid.openHandles, 2);
  EXPECT_TRUE(hid.written.size() == 3u);  // no output report at an arrival
  module.Timer();
  EXPECT_EQ(Take(), "nothing");
}

TEST_F(PendantLinkTest, AReopenThatFailsSearchesAgainOrLosesThePendant) {
  pendant = hid.AddPendant().path;
  FindPendant();
  hid.Unplug(pendant);  // gone without a notice
  const std::string moved = hid.AddPendant().path;
  Arrive();
  EXPECT_EQ(Link().PendantPath(), moved);
  EXPECT_EQ(Take(), "DoButton 1021");  // the old handle failed: it was a removal

  hid.failOpens = true;
  Arrive();
  EXPECT_FALSE(Link().Connected());
  EXPECT_EQ(Take(), "DoButton 1021");
  module.Timer();
  EXPECT_EQ(Take(), "nothing");
}

TEST_F(PendantLinkTest, APendantThatVanishesWithoutNoticeIsHandledOnceAsARemoval) {
  pendant = hid.AddPendant().path;
  FindPendant();
  StartJoggingX();
  hid.Unplug(pendant);
  module.Timer();
  EXPECT_EQ(Take(), "DoButton 1021");  // no jog code from a failed read
  EXPECT_FALSE(Link().Connected());
  EXPECT_EQ(hid.openHandles, 0);
  module.Timer();
  Remove(pendant);  // a notice that comes late changes nothing more
  EXPECT_EQ(Take(), "nothing");

  hid.Replug(pendant);
  Arrive();
  EXPECT_TRUE(Link().Connected());
  host.SetLed(800, true);
  hid.Unplug(pendant);
  module.Timer();
  EXPECT_EQ(Take(), "nothing");
  EXPECT_FALSE(Link().Connected());
}

TEST_F(PendantLinkTest, EveryQueuedReportIsActedOnInOrderWithinOnePoll) {
  pendant = hid.AddPendant().path;
  FindPendant();
  Poll(Report(0, kJogStepByte2));
  Poll(Report(0));
  // A tap shorter than a poll: press and release both wait in the queue.
  hid.Send(pendant, Report(kJogXByte1));
  hid.Send(pendant, Report(0));
  hid.Send(pendant, Report(kEStopByte1), 3);
  module.Timer();
  EXPECT_EQ(Take(), "DoButton 205; DoButton 307; DoButton 334; DoButton 1021");
  EXPECT_EQ(hid.written.size(), 3u);
}

TEST_F(PendantLinkTest, APollTakesTheWholeBacklogAndAnOverflowLosesOnlyTheOldest) {
  pendant = hid.AddPendant().path;
  FindPendant();
  Poll(Report(0));
  const int reads = hid.reads;
  hid.Send(pendant, Report(0));            // completes the read the last poll left outstanding
  hid.Send(pendant, Report(kEStopByte1));  // pushed out by the 32 after it
  hid.Send(pendant, Report(0), kDriverQueueReports - 1);
  hid.Send(pendant, Report(kEStopByte1));  // the newest is kept
  module.Timer();
  EXPECT_EQ(Take(), "DoButton 1021");
  EXPECT_EQ(hid.reads - reads, kReportsPerPollMax);
}

TEST_F(PendantLinkTest, AStalledReadReusesThePreviousButtonsAndALateReportIsTakenWhole) {
  pendant = hid.AddPendant().path;
  FindPendant();
  Poll(Report(kEStopByte1));
  EXPECT_EQ(Take(), "DoButton 1021");
  module.Timer();  // no report: still held, no edge
  EXPECT_EQ(Take(), "nothing");
  // The read left outstanding takes the next report whole, whatever comes after it.
  hid.Send(pendant, Report(0));
  hid.Send(pendant, Report(kEStopByte1));
  module.Timer();
  EXPECT_EQ(Take(), "DoButton 1021");
}

// Each link has its own silence. A host whose jog-mode switch stops the
// plug-in and starts it again, or only starts it again: the old link's start
// code never goes out, and the new link speaks.
TEST_F(PendantLinkTest, EachLinkHasItsOwnSilence) {
  pendant = hid.AddPendant().path;
  FindPendant();
  for (const bool stopFirst : {true, false}) {
    Poll(Report(0, kJogStepByte2));
    Poll(Report(0));
    host.SetCallHook([this, stopFirst](sim::HostCallKind kind, int code) {
      if (kind != sim::HostCallKind::DoButton || code != 205) return;
      sim::NativeModule& plugin = module;  // the hook is gone once it is cleared
      const bool stop = stopFirst;
      host.SetCallHook(nullptr);
      if (stop) plugin.Core().StopPlug();
      plugin.InitControl();
    });
    Poll(Report(kJogXByte1));
    EXPECT_EQ(Take(), "DoButton 205") << stopFirst;
    Poll(Report(kJogXByte1 | kEStopByte1));
    EXPECT_EQ(Take(), "DoButton 1021") << stopFirst;
  }
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
