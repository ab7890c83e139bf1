#include "sim/scripted_host.h"

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugin/framework_string.h"

namespace quenta::sim {
namespace {

using ::testing::ElementsAre;

// The plug-in's side of the status line: the framework-string layer assigning in place.
void PluginShowsStatus(ScriptedHost& host, const std::string& text) {
  // The status line sits at a 4-aligned offset, as in the host's 32-bit block.
  char* where = static_cast<char*>(host.HostBlock3()) + kStatusLineOffset;
  FrameworkString status;
  std::memcpy(&status, where, sizeof status);
  ASSERT_TRUE(AssignFrameworkString(status, text));
  std::memcpy(where, &status, sizeof status);
}

class ScriptedHostTest : public ::testing::Test {
 protected:
  void SetUp() override { host.MakeCurrent(); }
  ScriptedHost host;
  HostCallbacks callbacks = ScriptedHost::Callbacks();
};

TEST_F(ScriptedHostTest, RecordsCallsInOrderAndAnswersReadsFromItsState) {
  host.SetLed(800, true);
  host.SetDro(821, 2.5);
  EXPECT_TRUE(callbacks.GetLED(800));
  EXPECT_FALSE(callbacks.GetLED(804));
  EXPECT_EQ(callbacks.GetDRO(821), 2.5);
  EXPECT_EQ(callbacks.GetDRO(74), 0.0);
  callbacks.DoButton(static_cast<short>(0xFFFF));
  callbacks.SetDRO(821, 3);
  callbacks.Code("M12");
  EXPECT_EQ(callbacks.GetDRO(821), 3.0);  // SetDRO changes what GetDRO answers
  EXPECT_THAT(host.TakeCalls(), ElementsAre(HostCall::DoButton(-1), HostCall::SetDRO(821, 3), HostCall::Code("M12")));
  EXPECT_TRUE(host.TakeCalls().empty());
}

TEST_F(ScriptedHostTest, DoButtonChangesNoLedOrDro) {
  host.SetLed(804, true);
  callbacks.DoButton(1021);
  EXPECT_TRUE(callbacks.GetLED(804));
}

TEST_F(ScriptedHostTest, SeesEveryStatusAssignmentInOrderEvenWhenTheTextRepeats) {
  callbacks.Code("M12");
  PluginShowsStatus(host, " Custom Macro #1 executed. ");
  callbacks.DoButton(103);
  PluginShowsStatus(host, " Custom Macro #1 executed. ");
  host.FlushStatus();  // the runner, at the end of a command
  PluginShowsStatus(host, " Custom Macro #1 executed. ");
  EXPECT_THAT(host.TakeCalls(),
              ElementsAre(HostCall::Code("M12"), HostCall::Status(" Custom Macro #1 executed. "),
                          HostCall::DoButton(103), HostCall::Status(" Custom Macro #1 executed. "),
                          HostCall::Status(" Custom Macro #1 executed. ")));
  EXPECT_EQ(host.StatusText(), " Custom Macro #1 executed. ");
}

TEST_F(ScriptedHostTest, TwoStatusesWithoutACallBetweenAreBothSeen) {
  PluginShowsStatus(host, "first");
  PluginShowsStatus(host, "second, longer than the first");
  EXPECT_THAT(host.TakeCalls(), ElementsAre(HostCall::Status("first"), HostCall::Status("second, longer than the first")));
}

TEST_F(ScriptedHostTest, FreesEachReplacedStatusBufferExactlyOnce) {
  const int before = host.Strings().Live();
  for (int i = 0; i < 5; ++i) {
    PluginShowsStatus(host, "status " + std::to_string(i));
    host.FlushStatus();
  }
  EXPECT_EQ(host.Strings().Live(), before);
  EXPECT_EQ(host.Strings().badFrees, 0);
  EXPECT_EQ(host.TakeCalls().size(), 5u);
}

TEST_F(ScriptedHostTest, AStringHandedOverByValueIsFreedWhenItsHolderReleasesIt) {
  const int before = host.Strings().Live();
  FrameworkString name = host.MakeString("C:\\profiles\\mill.xml");
  EXPECT_EQ(FrameworkStringText(name), "C:\\profiles\\mill.xml");
  EXPECT_EQ(host.Strings().Live(), before + 1);
  ReleaseFrameworkString(name);
  EXPECT_EQ(host.Strings().Live(), before);
  EXPECT_TRUE(host.TakeCalls().empty());  // making a string is no status assignment
}

TEST_F(ScriptedHostTest, TheNilStringIsNeverFreed) {
  CountingStringManager manager;
  StringData* nil = manager.GetNilString();
  manager.Free(nil);
  EXPECT_EQ(manager.badFrees, 1);
  EXPECT_EQ(manager.frees, 0);
  EXPECT_STREQ(nil->chars(), "");
}

TEST_F(ScriptedHostTest, ShowsReadsAndCallsToItsObserver) {
  std::vector<std::string> seen;
  host.SetObserver([&](const std::string& line, bool isRead) { seen.push_back((isRead ? "read " : "call ") + line); });
  host.SetLed(805, true);
  callbacks.GetLED(805);
  callbacks.GetDRO(3);
  callbacks.DoButton(205);
  PluginShowsStatus(host, "x");
  host.RecordMessage("Please enter an integer.");
  EXPECT_THAT(seen, ElementsAre("read GetLED 805 -> on", "read GetDRO 3 -> 0", "call DoButton 205",
                                "call Status \"x\"", "call Message \"Please enter an integer.\""));
}

TEST(ScriptedHostCurrent, CallbacksWithoutACurrentHostDoNothing) {
  {
    ScriptedHost gone;
    gone.MakeCurrent();
  }
  EXPECT_EQ(ScriptedHost::Current(), nullptr);
  ScriptedHost::DoButton(1);
  EXPECT_FALSE(ScriptedHost::GetLED(800));
}

}  // namespace
}  // namespace quenta::sim
