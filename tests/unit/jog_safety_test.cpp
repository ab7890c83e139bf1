// The jog-safety property over many seeded random sessions of the real link
// and control logic (the rules are those of tests/support/jog_session.h):
// pendants that stream 1, 5 or 25 reports per poll or report only on change,
// cables pulled with or without notice, links that fail while the pendant
// stays, pendants plugged into another port, other devices arriving, hosts
// whose calls of any kind run a message loop of their own for a while, and
// StopPlug at any moment. A failing session is shrunk before it is printed.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/jog_session.h"

namespace quenta::jog_session {
namespace {

// How the pendant's firmware reports: so many reports per poll period, or
// one report at each change of its state (0).
constexpr int kReportRates[] = {1, 5, 25, 0};

// Weighted towards the buttons that matter for jogging.
int RandomBit(std::mt19937& random) {
  static const int kBits[] = {8, 8, 8, 10, 11, 12, 13, 14, 15, 16, 16, 17, 17, 18, 19, 24, 24,
                              25, 20, 21, 22, 23, 9, 26, 27, 28};
  return kBits[std::uniform_int_distribution<std::size_t>(0, std::size(kBits) - 1)(random)];
}

std::vector<Action> RandomSession(std::uint32_t seed) {
  std::mt19937 random(seed);
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  static const int kLeds[] = {14, 15, 57, 800, 804, 805};
  static const std::pair<int, double> kDros[] = {{3, 5},       {3, 50},    {3, 100},   {3, 3},    {3, 120},
                                                 {828, 0.001}, {828, 0.1}, {828, 0.5}, {821, 100}, {74, 0.5},
                                                 {821, std::nan("")}};
  std::vector<Action> actions;
  const int length = pick(20, 160);
  for (int i = 0; i < length; ++i) {
    const int roll = pick(0, 999);
    if (roll < 20)  // the host's own reset: 1021 toggles LED 800, so stops would pile up
      actions.push_back({Kind::Led, 800, 0});
    else if (roll < 270)
      actions.push_back({Kind::Press, RandomBit(random)});
    else if (roll < 460)
      actions.push_back({Kind::Release, RandomBit(random)});
    else if (roll < 510)
      actions.push_back({Kind::ReleaseAll});
    else if (roll < 600)
      actions.push_back({Kind::Ticks, pick(0, 3) == 0 ? pick(5, 20) : pick(1, 3)});
    else if (roll < 800)
      actions.push_back({Kind::Poll, pick(1, 3)});
    else if (roll < 820)
      actions.push_back({Kind::Stall, pick(1, 3)});
    else if (roll < 830)
      actions.push_back({Kind::Send, pick(1, 40)});
    else if (roll < 860)
      actions.push_back({pick(0, 2) == 0 ? Kind::UnplugSilent : Kind::Unplug});
    else if (roll < 880)
      actions.push_back({pick(0, 3) == 0 ? Kind::OtherArrives : pick(0, 2) == 0 ? Kind::Plug : Kind::Replug});
    else if (roll < 910)
      actions.push_back({Kind::Led, kLeds[pick(0, 5)], static_cast<double>(pick(0, 1))});
    else if (roll < 925)
      actions.push_back({Kind::Dro, kDros[pick(0, 10)].first, kDros[pick(0, 10)].second});
    else if (roll < 935)
      actions.push_back({Kind::Setting, 13 + pick(0, 2), static_cast<double>(pick(0, 1))});  // a reverse flag
    else if (roll < 945)
      actions.push_back({Kind::Fail, 0, static_cast<double>(pick(0, 1))});
    else if (roll < 990)
      actions.push_back({Kind::Inside, pick(0, 4), static_cast<double>(pick(1, 6))});
    else if (roll < 991)
      actions.push_back({Kind::Stop});
    else
      actions.push_back({Kind::Raw, 0, 0, {0, 0, 0, 0, static_cast<std::uint8_t>(pick(0, 255)), 1, 2, 3}});
  }
  // Every session ends with everything let go, the pendant working and back
  // (a lost one is unplugged and plugged in again), the state reported once
  // more (an on-change pendant that came back has said nothing yet) and a few
  // polls, so every jog's release is read and judged.
  actions.push_back({Kind::Fail, 0, 0});
  actions.push_back({Kind::Unplug});
  actions.push_back({Kind::Replug});
  actions.push_back({Kind::ReleaseAll});
  actions.push_back({Kind::Send, 1});
  actions.push_back({Kind::Poll, 3});
  return actions;
}

constexpr std::uint32_t kSessions = 20000;

TEST(JogSafetyTest, EverySessionKeepsTheJogAndEStopRules) {
  Outcome total;
  int sessionsThatJogged = 0;
  for (std::uint32_t seed = 1; seed <= kSessions; ++seed) {
    const std::vector<Action> session = RandomSession(seed);
    const int rate = kReportRates[seed % std::size(kReportRates)];
    const Outcome outcome = RunSession(session, rate);
    if (outcome.breach) {
      const std::vector<Action> minimal = Shrink(session, rate);
      FAIL() << "seed " << seed << ": " << RunSession(minimal, rate).breach.value_or(*outcome.breach)
             << "\nminimal sequence (a fresh module, pendant connected, rate jog mode, "
             << (rate == 0 ? std::string("reports on change") : std::to_string(rate) + " report(s) per poll")
             << "):\n"
             << Describe(minimal);
    }
    EXPECT_FALSE(outcome.leaks) << "seed " << seed;
    if (outcome.jogStarts > 0) ++sessionsThatJogged;
    total.removalsWhileJogging += outcome.removalsWhileJogging;
    total.timersInsideCalls += outcome.timersInsideCalls;
    total.stopsWhileJogging += outcome.stopsWhileJogging;
  }
  // The sessions must actually jog, unplug mid-jog, pump and stop mid-jog, or the property proves nothing.
  EXPECT_GT(sessionsThatJogged, static_cast<int>(kSessions) / 8);
  EXPECT_GT(total.removalsWhileJogging, static_cast<int>(kSessions) / 50);
  EXPECT_GT(total.timersInsideCalls, static_cast<int>(kSessions));
  EXPECT_GT(total.stopsWhileJogging, static_cast<int>(kSessions) / 400);
}

// The judge itself: each rule catches a host that misses a code, a plug-in
// that does not see LED 800, or a code the plug-in must not send, and the
// shrinker cuts a session down to the steps that matter.
TEST(JogSafetyTest, TheJudgeCatchesEveryBrokenRule) {
  const std::vector<Action> jogX = {{Kind::Press, 19}, {Kind::Poll, 1}, {Kind::Release, 19}, {Kind::Poll, 1},
                                    {Kind::Press, 10}, {Kind::Poll, 1}};
  auto with = [&jogX](std::vector<Action> more) {
    std::vector<Action> actions = jogX;
    actions.insert(actions.end(), more.begin(), more.end());
    return actions;
  };
  struct Case {
    const char* rule;
    std::vector<Action> actions;
    Faults faults;
    int rate;
    const char* breach;
  };
  const std::size_t after = jogX.size();
  const Case cases[] = {
      {"a lost end code", with({{Kind::Release, 10}, {Kind::Poll, 3}}), {{334}, {}, {}}, 1,
       "axis X still jogging 2 timer messages after its release was read"},
      {"a lost end code inside a pumping call",
       with({{Kind::Press, 20}, {Kind::Inside, 2, 2}, {Kind::Release, 10}, {Kind::Poll, 3}, {Kind::Poll, 1}}),
       {{334}, {}, {}}, 1, "axis X still jogging"},
      {"a lost 1021 at an unplug", with({{Kind::Unplug}}), {{1021}, {}, {}}, 1,
       "a removal with LED 800 dark left it dark while an axis jogged"},
      {"a lost 1021 at a silent unplug", with({{Kind::UnplugSilent}, {Kind::Poll, 1}}), {{1021}, {}, {}}, 0,
       "a removal with LED 800 dark left it dark while an axis jogged"},
      {"a lost 1021 at a failing link", with({{Kind::Fail, 0, 1}, {Kind::Poll, 8}}), {{1021}, {}, {}}, 1,
       "a removal with LED 800 dark left it dark while an axis jogged"},
      {"LED 800 unseen", with({{Kind::Led, 800, 1}, {Kind::UnplugSilent}, {Kind::Poll, 1}}), {{}, {800}, {}}, 5,
       "DoButton 1021 switched LED 800 off without the Shift+E-stop chord read"},
      {"a lost E-stop", with({{Kind::Press, 9}, {Kind::Poll, 2}}), {{1021}, {}, {}}, 1,
       "an E-stop held with LED 800 dark sent no DoButton 1021"},
      {"two 1021s for one stop", with({{Kind::Press, 9}, {Kind::Poll, 1}, {Kind::Poll, 1}}),
       {{}, {}, {{after + 2, 1021}}}, 1,
       "DoButton 1021 switched LED 800 off without the Shift+E-stop chord read"},
      {"a start after a removal", with({{Kind::Unplug}, {Kind::Poll, 1}, {Kind::Poll, 1}}),
       {{}, {}, {{after + 2, 307}}}, 1, "start code 307 after a removal, from no report read before it"},
      {"a start code after its end", with({{Kind::Release, 10}, {Kind::Poll, 1}, {Kind::Poll, 1}}),
       {{}, {}, {{after + 2, 307}}}, 1, "start code 307 of axis X after the last report read let its button go"},
      {"a lost end code at StopPlug", with({{Kind::Stop}}), {{334}, {}, {}}, 1,
       "a jog still ran when StopPlug had returned"},
      {"a code after StopPlug", with({{Kind::Stop}, {Kind::Poll, 1}}), {{}, {}, {{after + 1, 1021}}}, 1,
       "DoButton 1021 after StopPlug"},
      {"a single-press jog after a gap",
       {{Kind::Unplug}, {Kind::Replug}, {Kind::Press, 10}, {Kind::Poll, 1}, {Kind::Poll, 1}},
       {{}, {}, {{4, 307}}}, 1, "start code 307 in rate jog mode from a single press after a gap"},
  };
  for (const Case& test : cases) {
    EXPECT_FALSE(RunSession(test.actions, test.rate).breach) << test.rule << ": the plug-in itself keeps the rule";
    const Outcome outcome = RunSession(test.actions, test.rate, test.faults);
    ASSERT_TRUE(outcome.breach) << test.rule;
    EXPECT_NE(outcome.breach->find(test.breach), std::string::npos) << test.rule << ": " << *outcome.breach;
  }

  std::vector<Action> padded = with({{Kind::Ticks, 4}, {Kind::Led, 805, 1}, {Kind::Release, 10}, {Kind::Stall, 2},
                                     {Kind::Poll, 2}, {Kind::Poll, 2}});
  const Faults deaf{{334}, {}, {}};
  const std::vector<Action> minimal = Shrink(padded, 1, deaf);
  EXPECT_LT(minimal.size(), padded.size());
  EXPECT_TRUE(RunSession(minimal, 1, deaf).breach);
  const std::string text = Describe(minimal);
  EXPECT_EQ(text.find("LED"), std::string::npos) << text;
  EXPECT_NE(text.find("release 10"), std::string::npos) << text;
}

}  // namespace
}  // namespace quenta::jog_session
