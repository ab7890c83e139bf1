#include "sim/scenario_runner.h"

#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugin/framework_string.h"
#include "sim/profile_file.h"
#include "sim/whole_file.h"
#include "sim/scripted_host.h"

namespace quenta::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A plug-in stand-in: logs what the runner asks of it, and on each poll makes
// the host calls a test queued.
struct FakePlugin {
  std::vector<std::string> log;
  std::vector<InputReport> reports;
  std::vector<std::function<void(ScriptedHost&)>> onPoll;
  std::optional<OutputReport> nextWritten;
  std::string profilePath;
  bool configAvailable = true;
  int timerMessages = 0;  // delivered by the host's pump
  AwakeState awake;
};

class FakeDriver : public PluginDriver {
 public:
  FakeDriver(FakePlugin& plugin, ScriptedHost& host) : plugin_(plugin), host_(host) {
    host_.SetTimerMessage([&plugin] { ++plugin.timerMessages; });
  }
  void SetPendantCount(int count) override { plugin_.log.push_back("pendants " + std::to_string(count)); }
  std::string Start(const std::string& profilePath) override {
    plugin_.log.push_back("start");
    plugin_.profilePath = profilePath;
    return "Quenta Pendant --Orbelin Ver 1.0";
  }
  void SendReports(const InputReport& report, int count) override {
    plugin_.log.push_back("send " + std::to_string(count));
    plugin_.reports.push_back(report);
  }
  void Unplug(bool silently) override { plugin_.log.push_back(silently ? "unplug silent" : "unplug"); }
  void Replug() override { plugin_.log.push_back("replug"); }
  bool Plug() override {
    plugin_.log.push_back("plug");
    return true;
  }
  void SetFailing(bool failing) override { plugin_.log.push_back(failing ? "fail on" : "fail off"); }
  void OtherArrives() override { plugin_.log.push_back("other-arrives"); }
  void OtherLeaves() override { plugin_.log.push_back("other-leaves"); }
  void Suspend() override { plugin_.log.push_back("suspend"); }
  void Resume(bool stale) override { plugin_.log.push_back(stale ? "resume stale" : "resume"); }
  AwakeState TakeAwake() override { return std::exchange(plugin_.awake, AwakeState{plugin_.awake.held, false}); }
  void Poll() override {
    plugin_.log.push_back("poll");
    if (plugin_.onPoll.empty()) return;
    // Taken out first: the calls may poll again from inside, as a pumping host does.
    const std::function<void(ScriptedHost&)> calls = plugin_.onPoll.front();
    plugin_.onPoll.erase(plugin_.onPoll.begin());
    calls(host_);
  }
  void Tick() override { plugin_.log.push_back("tick"); }
  ConfigOutcome Config(bool ok, const std::vector<DialogSetting>& settings) override {
    plugin_.log.push_back(std::string("config ") + (ok ? "ok " : "cancel ") + std::to_string(settings.size()));
    return plugin_.configAvailable ? ConfigOutcome::Ran : ConfigOutcome::Unavailable;
  }
  void Stop() override { plugin_.log.push_back("stop"); }
  std::optional<OutputReport> TakeLastReport() override {
    std::optional<OutputReport> taken = plugin_.nextWritten;
    plugin_.nextWritten.reset();
    return taken;
  }

 private:
  FakePlugin& plugin_;
  ScriptedHost& host_;
};

void ShowStatus(ScriptedHost& host, const std::string& text) {
  // The status line sits at a 4-aligned offset, as in the host's 32-bit block.
  char* where = static_cast<char*>(host.HostBlock3()) + kStatusLineOffset;
  FrameworkString status;
  std::memcpy(&status, where, sizeof status);
  AssignFrameworkString(status, text);
  std::memcpy(where, &status, sizeof status);
}

class ScenarioRunnerTest : public ::testing::Test {
 protected:
  bool Run(const std::string& text, RunOptions options = {}) {
    std::string error;
    const std::optional<Scenario> scenario = ParseScenario("t.scn", text, error);
    EXPECT_TRUE(scenario) << error;
    if (!scenario) return false;
    output.str("");
    return RunScenario(*scenario, factory, options, output) == 0;
  }

  FakePlugin plugin;
  DriverFactory factory = [this](ScriptedHost& host) { return std::make_unique<FakeDriver>(plugin, host); };
  std::ostringstream output;
};

TEST_F(ScenarioRunnerTest, EachExpectSeesTheCallsSinceThePreviousOne) {
  plugin.onPoll = {[](ScriptedHost&) { ScriptedHost::DoButton(205); },
                   [](ScriptedHost&) { ScriptedHost::DoButton(307); },
                   [](ScriptedHost& host) { ScriptedHost::Code("M12"); ShowStatus(host, "done"); }};
  EXPECT_TRUE(Run("start\npoll\nexpect DoButton 205\npoll\npoll\nexpect DoButton 307; Code \"M12\"; Status \"done\"\n"
                  "expect nothing\n"));
  EXPECT_EQ(output.str(), "PASS t.scn (3 expectations)\n");
}

TEST_F(ScenarioRunnerTest, AStatusIsRecordedBeforeTheCallsOfLaterCommands) {
  plugin.onPoll = {[](ScriptedHost& host) { ShowStatus(host, "same"); },
                   [](ScriptedHost& host) { ShowStatus(host, "same"); ScriptedHost::DoButton(1); }};
  EXPECT_TRUE(Run("start\npoll\npoll\nexpect Status \"same\"; Status \"same\"; DoButton 1\n")) << output.str();
}

TEST_F(ScenarioRunnerTest, AFailingExpectationPrintsItsLineAndTheCallsSeenAndSkipsTheRest) {
  plugin.onPoll = {[](ScriptedHost&) { ScriptedHost::DoButton(307); ScriptedHost::SetDRO(821, 0.1 + 0.2); }};
  EXPECT_FALSE(Run("start\npoll\nexpect DoButton 205; DoButton 307\ntick\nunplug\n"));
  EXPECT_EQ(output.str(),
            "FAIL t.scn:3: expected DoButton 205; DoButton 307; got DoButton 307; SetDRO 821 0.30000000000000004\n"
            "    at line 3: expect DoButton 205; DoButton 307\n");
  EXPECT_THAT(plugin.log, ElementsAre("start", "send 1", "poll"));
}

TEST_F(ScenarioRunnerTest, ThePendantReportsItsStateAtEachPollAndWhenToldToSend) {
  EXPECT_TRUE(Run("press shift 17\nsend\nrelease shift\npress 28 16\npoll\n"
                  "raw 01 02 03 04 05 06 07 08\nsend 2\nrelease 9\nstream 3\npoll\nstream 0\npoll\n"));
  EXPECT_THAT(plugin.log, ElementsAre("send 1", "send 1", "poll", "send 2", "send 3", "poll", "poll"));
  ASSERT_EQ(plugin.reports.size(), 4u);
  EXPECT_EQ(plugin.reports[0], (InputReport{0, 0x01, 0x02, 0, 0, 0, 0, 0}));
  EXPECT_EQ(plugin.reports[1], (InputReport{0, 0x00, 0x03, 0x10, 0, 0, 0, 0}));
  EXPECT_EQ(plugin.reports[2], (InputReport{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(plugin.reports[3], (InputReport{1, 0, 3, 4, 5, 6, 7, 8}));
}

TEST_F(ScenarioRunnerTest, AStallCountsPollCyclesAndSendingMoreThanTheQueueHoldsIsCut) {
  EXPECT_TRUE(Run("stall 2\npoll 3\nstall\nstream 0\npoll\nsend 1000\nsend 0\n"));
  EXPECT_THAT(plugin.log, ElementsAre("poll", "poll", "send 1", "poll", "poll", "send 33"));
}

TEST_F(ScenarioRunnerTest, RepeatCountsAndDeviceCommandsReachTheDriver) {
  EXPECT_TRUE(Run("pendant absent\nstart\npoll 3\ntick 2\nplug\nunplug\nunplug silent\nreplug\n"
                  "other-arrives\nother-leaves\nsuspend\npress 10\nresume\nsuspend\nresume stale\nstop\n"));
  EXPECT_THAT(plugin.log, ElementsAre("pendants 0", "start", "send 1", "poll", "send 1", "poll", "send 1", "poll",
                                      "tick", "tick", "plug", "unplug", "unplug silent", "replug", "other-arrives",
                                      "other-leaves", "suspend", "resume", "suspend", "resume stale", "stop"));
}

// Each expect-awake sees what the plug-in last asked for, and whether it
// counted the pendant as the operator's presence since the one before.
TEST_F(ScenarioRunnerTest, ExpectAwakeChecksTheLastRequestAndTheTouchesSinceThePreviousCheck) {
  plugin.awake = {true, true};
  EXPECT_TRUE(Run("start\nexpect-awake held touched\nexpect-awake held untouched\nexpect-awake held\n")) << output.str();
  plugin.awake = {false, true};
  EXPECT_FALSE(Run("start\nexpect-awake free untouched\n"));
  EXPECT_THAT(output.str(), HasSubstr("t.scn:2: expected awake free untouched; got free touched"));
  plugin.awake = {false, false};
  EXPECT_FALSE(Run("start\nexpect-awake held\n"));
  EXPECT_THAT(output.str(), HasSubstr("expected awake held; got free"));
}

TEST_F(ScenarioRunnerTest, APumpingHostDeliversATimerMessageInsideEachDoButton) {
  plugin.onPoll = {[](ScriptedHost&) { ScriptedHost::DoButton(1); },
                   [](ScriptedHost&) { ScriptedHost::DoButton(2); ScriptedHost::DoButton(3); },
                   [](ScriptedHost&) { ScriptedHost::DoButton(4); }};
  EXPECT_TRUE(Run("start\npoll\npump on\npoll\npump off\npoll\n"
                  "expect DoButton 1; DoButton 2; DoButton 3; DoButton 4\n")) << output.str();
  EXPECT_EQ(plugin.timerMessages, 2);
}

// The host's message loop inside a call: the block runs once, at the first
// call it names, after that call is recorded; a read answers what held when
// it was made; a newer block replaces one still waiting.
TEST_F(ScenarioRunnerTest, AnInsideBlockRunsOnceInsideTheFirstCallItNames) {
  std::vector<bool> answers;
  auto calls = [&answers](ScriptedHost&) {
    ScriptedHost::DoButton(7);
    ScriptedHost::DoButton(8);
    answers.push_back(ScriptedHost::GetLED(5));
  };
  plugin.onPoll = {calls, [](ScriptedHost&) { ScriptedHost::DoButton(9); }, calls};
  EXPECT_TRUE(Run("start\ninside DoButton 1\nend\ninside DoButton 8\n  led 5 on\n  poll\nend\npoll\npoll\n"
                  "expect DoButton 7; DoButton 8; DoButton 9; DoButton 7; DoButton 8\n")) << output.str();
  EXPECT_THAT(plugin.log, ElementsAre("start", "send 1", "poll", "send 1", "poll", "send 1", "poll"));
  EXPECT_THAT(answers, ElementsAre(true, true));

  answers.clear();
  plugin.onPoll = {calls, calls};
  EXPECT_TRUE(Run("start\ninside GetLED 5\n  led 5 on\nend\npoll\npoll\n")) << output.str();
  EXPECT_THAT(answers, ElementsAre(false, true));
}

TEST_F(ScenarioRunnerTest, ChecksTheLastReportWrittenSinceThePreviousCheck) {
  plugin.nextWritten = OutputReport{0, 0x09, 0x10, 0, 0};
  EXPECT_TRUE(Run("expect-report 00 09 10 00 00\nexpect-report none\n"));
  plugin.nextWritten = OutputReport{0, 0x01, 0, 0, 0};
  EXPECT_FALSE(Run("expect-report none\n"));
  EXPECT_THAT(output.str(), HasSubstr("FAIL t.scn:1: expected report none; got 00 01 00 00 00"));
}

TEST_F(ScenarioRunnerTest, ChecksTheTitle) {
  EXPECT_FALSE(Run("expect-title \"Quenta Pendant --Orbelin Ver 1.0\"\n"));
  EXPECT_THAT(output.str(), HasSubstr("got no start yet"));
  EXPECT_TRUE(Run("start\nexpect-title \"Quenta Pendant --Orbelin Ver 1.0\"\n"));
  EXPECT_FALSE(Run("start\nexpect-title \"Quenta\"\n"));
  EXPECT_THAT(output.str(), HasSubstr("expected title \"Quenta\"; got \"Quenta Pendant --Orbelin Ver 1.0\""));
}

TEST_F(ScenarioRunnerTest, AConfigTheRunnerCannotShowFailsLoudly) {
  plugin.configAvailable = false;
  EXPECT_FALSE(Run("start\nconfig ok 4164=5\nexpect nothing\n"));
  EXPECT_EQ(output.str(),
            "FAIL t.scn:2: config: the configuration dialog is not available\n    at line 2: config ok 4164=5\n");
}

TEST_F(ScenarioRunnerTest, WorksOnAFreshProfileFileOfItsOwnAndRemovesItAfterwards) {
  EXPECT_TRUE(Run("set OEM1 65535\nset BUTTON2 7\nstart\n"
                  "expect-profile Quenta_M2_Pendant OEM1 65535\nexpect-profile Quenta_M1_Pendant BUTTON2 7\n"
                  "expect-profile Quenta_M2_Pendant OEM2 absent\n"));
  ASSERT_FALSE(plugin.profilePath.empty());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(plugin.profilePath).parent_path()));
  const std::string first = plugin.profilePath;
  EXPECT_TRUE(Run("start\nexpect-profile Quenta_M2_Pendant OEM1 absent\n"));
  EXPECT_NE(plugin.profilePath, first);
}

TEST_F(ScenarioRunnerTest, ComparesTheProfileWithWhatTheLastProfileCommandWrote) {
  EXPECT_TRUE(Run("profile \"<profile><Quenta_M2_Pendant><OEM1></OEM1></Quenta_M2_Pendant></profile>\"\n"
                  "expect-profile-unchanged\nexpect-profile Quenta_M2_Pendant OEM1 \"\"\n"));
  EXPECT_FALSE(Run("profile \"<profile/>\"\nset OEM1 1\nexpect-profile-unchanged\n"));
  EXPECT_THAT(output.str(), HasSubstr("FAIL t.scn:3: expected the profile file unchanged; got a changed file"));
  EXPECT_TRUE(Run("profile \"<profile/>\"\nprofile none\nexpect-profile-unchanged\n"
                  "expect-profile Quenta_M2_Pendant OEM1 absent\n"));
  EXPECT_FALSE(Run("profile \"<profile>\"\nexpect-profile Quenta_M2_Pendant OEM1 absent\n"));
  EXPECT_THAT(output.str(), HasSubstr("got a profile file that is not well-formed"));
  EXPECT_FALSE(Run("profile \"<profile>\"\nset OEM1 1\n"));
  EXPECT_THAT(output.str(), HasSubstr("FAIL t.scn:2: set: the profile file cannot be edited"));
}

TEST_F(ScenarioRunnerTest, NarrationTellsTheStoryAroundTheSteps) {
  plugin.onPoll = {[](ScriptedHost&) { ScriptedHost::GetLED(800); ScriptedHost::DoButton(1021); }};
  RunOptions narrate;
  narrate.narrate = true;
  EXPECT_TRUE(Run("## The E-stop.\nstart\npoll\nexpect DoButton 1021\n## The end.\n", narrate));
  EXPECT_EQ(output.str(),
            "The E-stop.\n    > start\n    > poll\n      host <- DoButton 1021\n    ok: the host got DoButton 1021\n"
            "The end.\n\nEvery expectation held (1 expectations).\n");
}

TEST_F(ScenarioRunnerTest, FailsAPlugInThatKeepsOrDoubleFreesAHostString) {
  plugin.onPoll = {[](ScriptedHost& host) { host.MakeString("kept"); }};
  EXPECT_FALSE(Run("start\npoll\nexpect nothing\n"));
  EXPECT_THAT(output.str(), HasSubstr("FAIL t.scn:3: the plug-in kept 1 host string(s) it should have released"));
  plugin.onPoll = {[](ScriptedHost& host) {
    FrameworkString name = host.MakeString("twice");
    StringData* data = StringData::FromChars(name.chars);
    StringManager* manager = data->manager;
    ReleaseFrameworkString(name);
    manager->Free(data);  // a second release of the same buffer
  }};
  EXPECT_FALSE(Run("start\npoll\n"));
  EXPECT_THAT(output.str(), HasSubstr("FAIL t.scn:2: the plug-in freed 1 host string(s) that were not live"));
}

TEST(ScenarioFiles, ExitStatusIsTwoForUnreadableOrBadFilesElseOneForAFailure) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "scenario-runner-test";
  std::filesystem::create_directories(dir);
  const std::string pass = (dir / "pass.scn").string(), fail = (dir / "fail.scn").string();
  const std::string bad = (dir / "bad.scn").string();
  WriteWholeFile(pass, "expect nothing\n");
  WriteWholeFile(fail, "expect DoButton 1\n");
  WriteWholeFile(bad, "expect DoButton\n");
  FakePlugin plugin;
  const DriverFactory factory = [&](ScriptedHost& host) { return std::make_unique<FakeDriver>(plugin, host); };
  std::ostringstream out, err;
  EXPECT_EQ(RunScenarioFiles({pass}, factory, {}, out, err), 0);
  EXPECT_EQ(RunScenarioFiles({pass, fail}, factory, {}, out, err), 1);
  EXPECT_EQ(RunScenarioFiles({fail, bad, pass}, factory, {}, out, err), 2);
  EXPECT_EQ(RunScenarioFiles({(dir / "missing.scn").string()}, factory, {}, out, err), 2);
  EXPECT_THAT(err.str(), HasSubstr("bad.scn:1: error: missing word"));
  EXPECT_THAT(err.str(), HasSubstr("missing.scn: error: cannot read the file"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quenta::sim
