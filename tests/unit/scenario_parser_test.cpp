#include "sim/scenario_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quenta::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Kind = Command::Kind;

std::vector<std::string> Texts(const std::string& line) {
  std::string error;
  const auto words = LexLine(line, error);
  EXPECT_TRUE(words) << error;
  std::vector<std::string> texts;
  if (words)
    for (const Word& word : *words) texts.push_back(word.isSeparator ? "<;>" : word.text + (word.separatorAfter ? "<;>" : ""));
  return texts;
}

Scenario Parse(const std::string& text) {
  std::string error;
  const std::optional<Scenario> scenario = ParseScenario("s.scn", text, error);
  EXPECT_TRUE(scenario) << error;
  return scenario.value_or(Scenario{});
}

std::string ErrorOf(const std::string& text) {
  std::string error;
  EXPECT_FALSE(ParseScenario("bad.scn", text, error)) << "accepted: " << text;
  return error;
}

TEST(ScenarioLexer, QuotesJoinBlanksAndEscapeOnlyQuoteAndBackslash) {
  EXPECT_THAT(Texts("Code \"M12\""), ElementsAre("Code", "M12"));
  EXPECT_THAT(Texts("4166=\" -5\""), ElementsAre("4166= -5"));
  EXPECT_THAT(Texts("4164=\"\""), ElementsAre("4164="));
  EXPECT_THAT(Texts("x \"a\\\"b\\\\c\\n\""), ElementsAre("x", "a\"b\\c\\n"));
  EXPECT_THAT(Texts("  \t poll\t 3  "), ElementsAre("poll", "3"));
  EXPECT_THAT(Texts("Code \"\""), ElementsAre("Code", ""));
}

TEST(ScenarioLexer, HashStartsACommentOnlyAtTheStartOfAWord) {
  EXPECT_THAT(Texts("# whole line"), ElementsAre());
  EXPECT_THAT(Texts("set BUTTON1 6   # \"817, Custom Macro #1\""), ElementsAre("set", "BUTTON1", "6"));
  EXPECT_THAT(Texts("config ok 4040=#6"), ElementsAre("config", "ok", "4040=#6"));
  EXPECT_THAT(Texts("Status \"a # b\" #c"), ElementsAre("Status", "a # b"));
  EXPECT_THAT(Texts("x#y #z"), ElementsAre("x#y"));
}

TEST(ScenarioLexer, SemicolonSeparatesOnlyUnquotedAtAWordsEnd) {
  EXPECT_THAT(Texts("DoButton 205; DoButton 307"), ElementsAre("DoButton", "205<;>", "DoButton", "307"));
  EXPECT_THAT(Texts("DoButton 205 ; x"), ElementsAre("DoButton", "205", "<;>", "x"));
  EXPECT_THAT(Texts("Code \"M12\"; Status \"a;\""), ElementsAre("Code", "M12<;>", "Status", "a;"));
  EXPECT_THAT(Texts("a;b \";\""), ElementsAre("a;b", ";"));
}

TEST(ScenarioLexer, RefusesAnUnterminatedQuote) {
  std::string error;
  EXPECT_FALSE(LexLine("Code \"M12", error));
  EXPECT_THAT(error, HasSubstr("unterminated quote"));
}

TEST(ScenarioParser, ReadsTheLanguagesExample) {
  const Scenario s = Parse(
      "set Macro1 12\n"
      "set BUTTON1 6          # \"817, Custom Macro #1\"\n"
      "start\n"
      "press shift\n"
      "poll\n"
      "\n"
      "tick 3\r\n"
      "release 17 9\n"
      "expect Code \"M12\"; Status \" Custom Macro #1 executed. \"\n");
  ASSERT_EQ(s.commands.size(), 8u);
  EXPECT_EQ(s.commands[0].section, "Quenta_M2_Pendant");
  EXPECT_EQ(s.commands[0].text, "12");
  EXPECT_EQ(s.commands[1].section, "Quenta_M1_Pendant");
  EXPECT_EQ(s.commands[3].bits, std::vector<int>{8});
  EXPECT_EQ(s.commands[4].number, 1);
  EXPECT_EQ(s.commands[5].number, 3);
  EXPECT_EQ(s.commands[5].line, 7);
  EXPECT_THAT(s.commands[6].bits, ElementsAre(17, 9));
  EXPECT_THAT(s.commands[7].calls,
              ElementsAre(HostCall::Code("M12"), HostCall::Status(" Custom Macro #1 executed. ")));
  EXPECT_EQ(s.commands[7].line, 9);
  EXPECT_EQ(s.commands[7].source, "expect Code \"M12\"; Status \" Custom Macro #1 executed. \"");
}

TEST(ScenarioParser, ReadsEveryCallAndExpectation) {
  const Scenario s = Parse(
      "expect DoButton -1 ; SetDRO 821 110.00000000000001; Message \"Please enter an integer.\"\n"
      "expect nothing\n"
      "expect SetDRO 3 1e-4\n"
      "expect-report 00 0d FF 00 00\n"
      "expect-report none\n"
      "profile \"<profile/>\"\n"
      "expect-profile Quenta_M2_Pendant OEM1 -1\n"
      "expect-profile Quenta_M2_Pendant OEM1 absent\n"
      "expect-profile-unchanged\n"
      "expect-title \"Quenta Pendant --Orbelin Ver 1.0\"\n");
  ASSERT_EQ(s.commands.size(), 10u);
  EXPECT_THAT(s.commands[0].calls, ElementsAre(HostCall::DoButton(-1), HostCall::SetDRO(821, 110.00000000000001),
                                               HostCall::Message("Please enter an integer.")));
  EXPECT_TRUE(s.commands[1].calls.empty());
  EXPECT_EQ(s.commands[2].calls[0].value, 1e-4);
  EXPECT_THAT(s.commands[3].bytes, ElementsAre(0x00, 0x0D, 0xFF, 0x00, 0x00));
  EXPECT_EQ(s.commands[4].kind, Kind::ExpectReportNone);
  EXPECT_EQ(s.commands[6].kind, Kind::ExpectProfile);
  EXPECT_EQ(s.commands[6].text, "-1");
  EXPECT_EQ(s.commands[7].kind, Kind::ExpectProfileAbsent);
  for (const Command& c : s.commands) EXPECT_EQ(c.IsExpectation(), c.kind != Kind::Profile) << c.source;
}

TEST(ScenarioParser, ReadsTheSetUpPendantAndHostCommands) {
  const Scenario s = Parse(
      "profile none\n"
      "pendant absent\n"
      "pendant 4\n"
      "led 800 on\n"
      "dro 821 -2.5e3\n"
      "raw 01 02 03 04 05 06 07 aB\n"
      "stall\n"
      "stall 3\n"
      "unplug\nreplug\nother-arrives\nother-leaves\n"
      "start\n"
      "config cancel 4164=\" 12abc\" 4040=#-1 4032=#6 4245=on 4247=off 4185=\n"
      "stop\n"
      "pump on\npump off\nstream 0\nstream 32\nsend\nsend 40\nunplug silent\nplug\n");
  ASSERT_EQ(s.commands.size(), 23u);
  EXPECT_EQ(s.commands[0].kind, Kind::ProfileNone);
  EXPECT_EQ(s.commands[1].number, 0);
  EXPECT_EQ(s.commands[2].number, 4);
  EXPECT_TRUE(s.commands[3].on);
  EXPECT_EQ(s.commands[4].value, -2500.0);
  EXPECT_THAT(s.commands[5].bytes, ElementsAre(1, 2, 3, 4, 5, 6, 7, 0xAB));
  EXPECT_EQ(s.commands[6].number, 1);
  EXPECT_EQ(s.commands[7].number, 3);
  EXPECT_EQ(s.commands[11].kind, Kind::OtherLeaves);
  const Command& config = s.commands[13];
  EXPECT_FALSE(config.on);
  ASSERT_EQ(config.settings.size(), 6u);
  EXPECT_EQ(config.settings[0].kind, DialogSetting::Kind::Text);
  EXPECT_EQ(config.settings[0].text, " 12abc");
  EXPECT_EQ(config.settings[1].row, -1);
  EXPECT_EQ(config.settings[2].row, 6);
  EXPECT_TRUE(config.settings[3].checked);
  EXPECT_FALSE(config.settings[4].checked);
  EXPECT_EQ(config.settings[5].controlId, 4185);
  EXPECT_EQ(config.settings[5].text, "");
  EXPECT_TRUE(s.commands[15].on);
  EXPECT_FALSE(s.commands[16].on);
  EXPECT_EQ(s.commands[17].number, 0);
  EXPECT_EQ(s.commands[18].number, 32);
  EXPECT_EQ(s.commands[19].number, 1);
  EXPECT_EQ(s.commands[20].number, 40);
  EXPECT_EQ(s.commands[21].kind, Kind::UnplugSilent);
  EXPECT_EQ(s.commands[22].kind, Kind::Plug);
}

TEST(ScenarioParser, AnInsideBlockHoldsItsLinesForItsCall) {
  const Scenario s = Parse("inside GetLED 800\n  poll 3\n  fail on\n  stop\nend\ninside Code\nend\nfail off\n");
  ASSERT_EQ(s.commands.size(), 3u);
  const Command& block = s.commands[0];
  EXPECT_EQ(block.call, HostCallKind::GetLED);
  EXPECT_TRUE(block.hasNumber);
  EXPECT_EQ(block.number, 800);
  ASSERT_EQ(block.block.size(), 3u);
  EXPECT_EQ(block.block[0].number, 3);
  EXPECT_EQ(block.block[1].kind, Kind::Fail);
  EXPECT_TRUE(block.block[1].on);
  EXPECT_EQ(block.block[2].line, 4);
  EXPECT_EQ(s.commands[1].call, HostCallKind::Code);
  EXPECT_FALSE(s.commands[1].hasNumber);
  EXPECT_TRUE(s.commands[1].block.empty());
  EXPECT_FALSE(s.commands[2].on);
}

TEST(ScenarioParser, TextIntoAnEditBoxIsTakenAsTypedEvenWhenItLooksLikeARowOrASwitch) {
  const Scenario s = Parse("config ok 4164=#5 4162=on\n");
  EXPECT_EQ(s.commands[0].settings[0].text, "#5");
  EXPECT_EQ(s.commands[0].settings[1].text, "on");
}

TEST(ScenarioParser, KeepsNarrationButTreatsItAsAComment) {
  const Scenario s = Parse("## The E-stop.\n  ## indented\n##\n#### not narration\n##x\nstart ## trailing comment\n");
  ASSERT_EQ(s.commands.size(), 1u);
  ASSERT_EQ(s.narration.size(), 3u);
  EXPECT_EQ(s.narration[0].text, "The E-stop.");
  EXPECT_EQ(s.narration[1].text, "indented");
  EXPECT_EQ(s.narration[2].text, "");
  EXPECT_EQ(s.narration[2].line, 3);
}

TEST(ScenarioParser, ReportsEachBadFormWithFileAndLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"start\nStart\n", "bad.scn:2: error: unknown command 'Start'"},
      {"poll 1 2\n", "bad.scn:1: error: extra word '2'"},
      {"poll x\n", "bad.scn:1: error: bad count 'x'"},
      {"poll -1\n", "bad.scn:1: error: count '-1' is out of range"},
      {"tick 1.5\n", "bad.scn:1: error: bad count '1.5'"},
      {"led 800\n", "bad.scn:1: error: missing word"},
      {"led 800 lit\n", "led takes on or off"},
      {"dro 821 1,5\n", "bad number '1,5'"},
      {"dro 821 nan\n", "bad number 'nan'"},
      {"dro 821 1e999\n", "too large"},
      {"dro 821 1e\n", "bad number '1e'"},
      {"press\n", "missing word"},
      {"press 7\n", "button bit '7' is out of range 8 to 28"},
      {"release 29\n", "button bit '29' is out of range 8 to 28"},
      {"press Shift\n", "bad button bit 'Shift'"},
      {"pendant 0\n", "pendant count '0' is out of range 1 to 4"},
      {"pendant 5\n", "pendant count '5' is out of range 1 to 4"},
      {"raw 00 00 00\n", "missing word"},
      {"raw 00 00 00 00 00 00 00 100\n", "bad report byte '100'"},
      {"raw 00 00 00 00 00 00 00 0g\n", "bad report byte '0g'"},
      {"expect-report 00 00 00 00 00 00\n", "extra word '00'"},
      {"expect\n", "missing word"},
      {"expect DoButton\n", "missing word"},
      {"expect DoButton 1 2\n", "extra word '2'"},
      {"expect DoButton 40000\n", "out of range"},
      {"expect DoButton 1;\n", "empty call"},
      {"expect DoButton 1 ;; DoButton 2\n", "extra word ';'"},
      {"expect DoButton 1 ; ; DoButton 2\n", "empty call"},
      {"expect DoButton 1;DoButton 2\n", "extra word '2'"},
      {"expect DoButton 1;DoButton\n", "bad DoButton code '1;DoButton'"},
      {"expect SetLED 1\n", "unknown call 'SetLED'"},
      {"expect nothing more\n", "unknown call 'nothing'"},
      {"poll 2;\n", "';' is only allowed between the calls of expect"},
      {"set Macro5 1\n", "unknown setting key 'Macro5'"},
      {"set Macro1 12abc\n", "bad integer '12abc'"},
      {"set Macro1\n", "missing word"},
      {"config\n", "usage: config ok|cancel"},
      {"config yes\n", "usage: config ok|cancel"},
      {"config ok 4164\n", "bad setting '4164'"},
      {"config ok 9999=1\n", "no dialog control has the id 9999"},
      {"config ok 4040=6\n", "list 4040 takes #ROW"},
      {"config ok 4040=#x\n", "bad row 'x'"},
      {"config ok 4245=yes\n", "check box 4245 takes on or off"},
      {"expect-profile Quenta_M2_Pendant OEM1\n", "missing word"},
      {"expect-title\n", "missing word"},
      {"stop now\n", "extra word 'now'"},
      {"Code \"M12\n", "unterminated quote"},
      {"start\npendant 2\n", "bad.scn:2: error: pendant must come before start"},
      {"start\nstart\n", "bad.scn:2: error: start may come only once"},
      {"start\nexpect-profile-unchanged\n", "needs an earlier profile command"},
      {"stream\n", "missing word"},
      {"stream 33\n", "reports per poll '33' is out of range 0 to 32"},
      {"send x\n", "bad count 'x'"},
      {"unplug loudly\n", "unplug takes only the word silent, not 'loudly'"},
      {"unplug silent now\n", "extra word 'now'"},
      {"pump\n", "missing word"},
      {"pump yes\n", "pump takes on or off"},
      // Whether the pendant is present follows from the commands alone.
      {"start\nplug\n", "bad.scn:2: error: plug while the pendant is present"},
      {"pendant absent\nstart\nplug\nplug\n", "bad.scn:4: error: plug while the pendant is present"},
      {"unplug silent\nreplug\nplug\n", "bad.scn:3: error: plug while the pendant is present"},
      {"inside DoButton\nunplug\nend\nplug\nplug\n", "bad.scn:5: error: plug while the pendant is present"},
      {"fail\n", "missing word"},
      {"fail yes\n", "fail takes on or off"},
      {"inside\nend\n", "missing word; usage: inside"},
      {"inside SetLED\nend\n", "inside takes DoButton, Code, SetDRO, GetLED or GetDRO, not 'SetLED'"},
      {"inside Code 12\nend\n", "inside Code takes no number"},
      {"inside DoButton 40000\nend\n", "DoButton code '40000' is out of range"},
      {"inside GetLED 800 1\nend\n", "extra word '1'"},
      {"inside DoButton\ninside Code\nend\nend\n", "bad.scn:2: error: inside cannot be nested"},
      {"inside DoButton\nexpect nothing\nend\n", "bad.scn:2: error: 'expect' cannot run inside a host call"},
      {"inside DoButton\nconfig ok\nend\n", "'config' cannot run inside a host call"},
      {"poll\nend\n", "bad.scn:2: error: end without inside"},
      {"inside DoButton\nend now\n", "extra word 'now'"},
      {"poll\ninside GetDRO 3\npoll\n", "bad.scn:2: error: inside without end"},
  };
  for (const Case& c : cases) EXPECT_THAT(ErrorOf(c.text), HasSubstr(c.message)) << c.text;
}

TEST(ScenarioParser, StopsAtTheFirstErrorWithItsLineNumber) {
  EXPECT_EQ(ErrorOf("# fine\nstart\n\npoll\npress 30\npress 31\n"),
            "bad.scn:5: error: button bit '30' is out of range 8 to 28");
}

TEST(ScenarioParser, AnUnreadableFileIsAnError) {
  std::string error;
  EXPECT_FALSE(LoadScenario("/nonexistent/dir/x.scn", error));
  EXPECT_EQ(error, "/nonexistent/dir/x.scn: error: cannot read the file");
}

TEST(HostCallFormat, PrintsCallsAsTheLanguageWritesThem) {
  EXPECT_EQ(FormatCall(HostCall::SetDRO(821, 110.00000000000001)), "SetDRO 821 110.00000000000001");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(3, 0.001)), "SetDRO 3 0.001");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(3, 1e-4)), "SetDRO 3 0.0001");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(74, 250)), "SetDRO 74 250");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(74, -0.5)), "SetDRO 74 -0.5");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(74, 1e22)), "SetDRO 74 1e+22");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(74, 1.5e-9)), "SetDRO 74 1.5e-09");
  EXPECT_EQ(FormatCall(HostCall::Status("say \"hi\" \\o/")), "Status \"say \\\"hi\\\" \\\\o/\"");
  EXPECT_EQ(FormatCalls({}), "nothing");
  EXPECT_EQ(FormatCalls({HostCall::DoButton(205), HostCall::Code("M12")}), "DoButton 205; Code \"M12\"");
}

TEST(HostCallFormat, FormattedCallsParseBackToTheSameCalls) {
  const std::vector<HostCall> calls = {HostCall::SetDRO(821, 0.1 + 0.2), HostCall::SetDRO(828, -1e-300),
                                       HostCall::Status("a \"b\"; #c \\"), HostCall::DoButton(-32768)};
  const Scenario s = Parse("expect " + FormatCalls(calls) + "\n");
  EXPECT_EQ(s.commands.at(0).calls, calls);
}

}  // namespace
}  // namespace quenta::sim
