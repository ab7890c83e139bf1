// The jog-safety property, over many seeded random sessions of the real link
// and control logic, with pendants that stream 1, 5 or 25 reports per poll or
// report only on change, cables pulled with or without notice, pendants
// plugged into another port and other devices arriving: no jog outlives the
// poll after the one that can first see its release, a removal while an axis
// jogs sends 1021 unless the machine is already in E-stop (LED 800 lit), and
// a removal never sends 1021 while LED 800 is lit. A failing session is
// shrunk before it is printed.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "config/pendant_settings.h"
#include "device/pandrel_win.h"
#include "plugin/hold_ticks.h"
#include "plugin/module_state.h"
#include "sim/virtual_hid.h"

namespace quenta {
namespace {

// What the host believes: which axes jog, from the start and end codes it received.
struct JogHostModel {
  std::array<bool, 4> jogging{};  // X, Y, Z, A
  std::array<bool, 1024> leds{};
  double dro3 = 0, dro828 = 0, dro821 = 0, dro74 = 0;
  std::vector<int> received;  // DoButton codes since the last step
  int jogStarts = 0;
  int unplugsWhileJogging = 0;
  std::vector<int> deafTo;    // codes this host drops, to prove the judge
  std::vector<int> darkFor;   // LEDs it shows the plug-in as off whatever they are, likewise

  bool AnyJogging() const { return jogging[0] || jogging[1] || jogging[2] || jogging[3]; }
  double& Dro(int code) {
    static double elsewhere = 0;
    switch (code) {
      case 3: return dro3;
      case 828: return dro828;
      case 821: return dro821;
      case 74: return dro74;
      default: return elsewhere;
    }
  }
};

JogHostModel* model = nullptr;

void DoButton(short code) {
  for (int deaf : model->deafTo)
    if (code == deaf) return;
  model->received.push_back(code);
  if (code >= 307 && code <= 314) {
    model->jogging[(code - 307) / 2] = true;
    ++model->jogStarts;
  } else if (code >= 334 && code <= 337) {
    model->jogging[code - 334] = false;
  }
}
bool GetLED(int code) {
  for (int dark : model->darkFor)
    if (code == dark) return false;
  return code >= 0 && code < 1024 && model->leds[code];
}
double GetDRO(int code) { return model->Dro(code); }
void SetDRO(int code, double value) { model->Dro(code) = value; }
void Code(const char*) {}

enum class Kind {
  Press, Release, ReleaseAll, Ticks, Poll, Stall, Send, Unplug, UnplugSilent, Replug, Plug, OtherArrives, Led, Dro,
  Reverse, Noise
};

// How the pendant's firmware reports: so many reports per poll period, or
// one report at each change of its state (0).
constexpr int kReportRates[] = {1, 5, 25, 0};

struct Action {
  Kind kind;
  int a = 0;       // bit, tick or poll count, LED or DRO code, axis
  double b = 0;    // LED state, DRO value, reverse flag, noise bytes
};

std::string Describe(const Action& action) {
  std::ostringstream text;
  switch (action.kind) {
    case Kind::Press: text << "press " << action.a; break;
    case Kind::Release: text << "release " << action.a; break;
    case Kind::ReleaseAll: text << "release all"; break;
    case Kind::Ticks: text << "tick " << action.a; break;
    case Kind::Poll: text << "poll " << action.a; break;
    case Kind::Stall: text << "stall " << action.a << " poll(s)"; break;
    case Kind::Send: text << "send " << action.a; break;
    case Kind::Unplug: text << "unplug"; break;
    case Kind::UnplugSilent: text << "unplug silent"; break;
    case Kind::Replug: text << "replug"; break;
    case Kind::Plug: text << "plug into another port"; break;
    case Kind::OtherArrives: text << "another HID device arrives"; break;
    case Kind::Led: text << "LED " << action.a << (action.b != 0 ? " lit" : " off"); break;
    case Kind::Dro: text << "DRO " << action.a << " = " << action.b; break;
    case Kind::Reverse: text << "reverse " << "XYZ"[action.a] << (action.b != 0 ? " on" : " off"); break;
    case Kind::Noise: text << "noise in the non-button bits"; break;
  }
  return text.str();
}

std::string Describe(const std::vector<Action>& actions) {
  std::string text;
  for (const Action& action : actions) text += "  " + Describe(action) + "\n";
  return text;
}

// The virtual pendant of a session: its state, how it reports, and whether
// the plug-in can see that state.
struct SessionPendant {
  VirtualHidSystem& hid;
  int& cleanIdlePolls;  // polls since a state the plug-in could see showed every button up
  int rate;             // reports per poll period; 0: on change
  std::string path;
  InputReport report{};
  int stalls = 0;
  bool seen = true;           // the current state reached a handle the plug-in had open
  bool eStopTouched = false;  // bit 9 was down in a report sent since the last poll

  bool Present() { return hid.Find(path)->present; }
  void Send(bool connected, int count = 1) {
    if (count == 0 || !Present()) return;
    hid.Send(path, report, count);
    seen = seen || connected;
    eStopTouched = eStopTouched || (report[1] & 0x02) != 0;
  }
  void Change(std::uint32_t word, bool connected) {
    for (int b = 0; b < 4; ++b) report[b] = static_cast<std::uint8_t>(word >> (8 * b));
    seen = false;
    cleanIdlePolls = 0;
    if (rate == 0) Send(connected);
  }
};

// Runs one session on a freshly loaded module. Returns the first broken promise, if any.
std::optional<std::string> RunSession(const std::vector<Action>& actions, JogHostModel& host, int rate = 1) {
  ResetModuleState();
  model = &host;
  Host.DoButton = DoButton;
  Host.GetLED = GetLED;
  Host.GetDRO = GetDRO;
  Host.SetDRO = SetDRO;
  Host.Code = Code;

  VirtualHidSystem hid;
  int cleanIdlePolls = 0;
  SessionPendant pendant{hid, cleanIdlePolls, rate, hid.AddPendant().path};
  VirtualLinkWindow window;
  PandrelWin link(hid, window);
  link.FindPendant();

  constexpr std::uint32_t kButtonMask = 0x1FFFFF00u;  // bits 8 to 28
  std::uint32_t word = 0;

  for (std::size_t step = 0; step < actions.size(); ++step) {
    const Action& action = actions[step];
    host.received.clear();
    const bool wasConnected = link.Connected();
    const bool wasJogging = host.AnyJogging();
    const bool eStopLit = host.leds[800];
    const std::string where = " (step " + std::to_string(step + 1) + ")";
    // Judges the step (or poll) in which the link went down, if it did.
    auto removal = [&](const char* how, bool connectedBefore, bool wasJogging) {
      if (!connectedBefore || link.Connected()) return;
      cleanIdlePolls = 0;
      if (wasJogging && !eStopLit) ++host.unplugsWhileJogging;
      bool sent1021 = false;
      for (int code : host.received) sent1021 = sent1021 || code == 1021;
      if (wasJogging && !eStopLit && !sent1021) throw std::string(how) + " while an axis jogged sent no DoButton 1021";
      const bool eStopButton = pendant.eStopTouched || (word & (1u << 9)) != 0;
      if (eStopLit && sent1021 && !eStopButton) throw std::string(how) + " sent DoButton 1021 while LED 800 was lit";
    };
    try {
      switch (action.kind) {
        case Kind::Press: word |= 1u << action.a; pendant.Change(word, link.Connected()); break;
        case Kind::Release: word &= ~(1u << action.a); pendant.Change(word, link.Connected()); break;
        case Kind::ReleaseAll: word &= ~kButtonMask; pendant.Change(word, link.Connected()); break;
        case Kind::Noise: {
          const auto noise = static_cast<std::uint32_t>(action.b);
          word = (word & kButtonMask) | (noise & ~kButtonMask);
          pendant.report[4] = pendant.report[5] = static_cast<std::uint8_t>(noise >> 8);
          pendant.Change(word, link.Connected());
          break;
        }
        case Kind::Ticks:
          for (int i = 0; i < action.a; ++i) AdvanceHoldTicks();
          break;
        case Kind::Stall: pendant.stalls += action.a; break;
        case Kind::Send: pendant.Send(link.Connected(), action.a); break;
        case Kind::Led: host.leds[action.a] = action.b != 0; break;
        case Kind::Dro: host.Dro(action.a) = action.b; break;
        case Kind::Reverse: {
          bool* flags[] = {&Settings.Xreverse, &Settings.Yreverse, &Settings.Zreverse};
          *flags[action.a] = action.b != 0;
          break;
        }
        case Kind::Unplug:
        case Kind::UnplugSilent: {
          if (!pendant.Present()) break;
          hid.Unplug(pendant.path);
          pendant.seen = false;
          if (action.kind == Kind::Unplug) {
            const auto record = DeviceInterfaceBroadcast(pendant.path);
            link.OnDeviceChange(kDeviceRemoveComplete, record.data());
            removal("an unplug", wasConnected, wasJogging);
          }
          break;
        }
        case Kind::Replug:
        case Kind::Plug: {
          if (pendant.Present()) break;
          if (action.kind == Kind::Replug)
            hid.Replug(pendant.path);
          else
            pendant.path = hid.AddPendant().path;
          link.OnDeviceChange(kDeviceArrival, nullptr);
          removal("a silent unplug noticed at an arrival", wasConnected, wasJogging);
          break;
        }
        case Kind::OtherArrives:
          hid.AddOtherDevice(0x046D, 0xC077);
          link.OnDeviceChange(kDeviceArrival, nullptr);
          removal("a silent unplug noticed at an arrival", wasConnected, wasJogging);
          break;
        case Kind::Poll:
          for (int i = 0; i < action.a; ++i) {
            const bool connectedBefore = link.Connected();
            const bool joggingBefore = host.AnyJogging();
            host.received.clear();
            if (pendant.stalls > 0)
              --pendant.stalls;
            else
              pendant.Send(link.Connected(), pendant.rate);
            link.OnTimer();
            removal("a silent unplug", connectedBefore, joggingBefore);
            pendant.eStopTouched = false;
            if (!link.Connected() || !pendant.seen || (word & kButtonMask) != 0)
              cleanIdlePolls = 0;
            else
              ++cleanIdlePolls;
            if (cleanIdlePolls >= 2 && host.AnyJogging()) {
              std::string axes;
              for (int axis = 0; axis < 4; ++axis)
                if (host.jogging[axis]) axes += "XYZA"[axis];
              throw "axis " + axes + " still jogging after every button was up for " +
                  std::to_string(cleanIdlePolls) + " polls that could see it";
            }
          }
          break;
      }
    } catch (const std::string& broken) {
      return broken + where;
    }
  }
  return std::nullopt;
}

// Weighted towards the buttons that matter for jogging.
int RandomBit(std::mt19937& random) {
  static const int kBits[] = {8, 8, 8, 10, 11, 12, 13, 14, 15, 16, 16, 17, 17, 18, 19, 24, 24,
                              25, 20, 21, 22, 23, 9, 26, 27, 28};
  return kBits[std::uniform_int_distribution<std::size_t>(0, std::size(kBits) - 1)(random)];
}

int RandomRate(std::uint32_t seed) { return kReportRates[seed % std::size(kReportRates)]; }

std::vector<Action> RandomSession(std::uint32_t seed) {
  std::mt19937 random(seed);
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  static const int kLeds[] = {14, 15, 57, 800, 804, 805};
  static const std::pair<int, double> kDros[] = {{3, 5},      {3, 50},   {3, 100},  {3, 3},    {3, 120},
                                                 {828, 0.001}, {828, 0.1}, {828, 0.5}, {821, 100}, {74, 0.5},
                                                 {821, std::nan("")}};
  std::vector<Action> actions;
  const int length = pick(20, 160);
  for (int i = 0; i < length; ++i) {
    const int roll = pick(0, 99);
    if (roll < 28)
      actions.push_back({Kind::Press, RandomBit(random)});
    else if (roll < 48)
      actions.push_back({Kind::Release, RandomBit(random)});
    else if (roll < 53)
      actions.push_back({Kind::ReleaseAll});
    else if (roll < 63)
      actions.push_back({Kind::Ticks, pick(0, 3) == 0 ? pick(5, 20) : pick(1, 3)});
    else if (roll < 85)
      actions.push_back({Kind::Poll, pick(1, 3)});
    else if (roll < 87)
      actions.push_back({Kind::Stall, pick(1, 3)});
    else if (roll < 88)
      actions.push_back({Kind::Send, pick(1, 40)});
    else if (roll < 91)
      actions.push_back({pick(0, 2) == 0 ? Kind::UnplugSilent : Kind::Unplug});
    else if (roll < 93)
      actions.push_back({pick(0, 3) == 0 ? Kind::OtherArrives : pick(0, 2) == 0 ? Kind::Plug : Kind::Replug});
    else if (roll < 96)
      actions.push_back({Kind::Led, kLeds[pick(0, 5)], static_cast<double>(pick(0, 1))});
    else if (roll < 98)
      actions.push_back({Kind::Dro, kDros[pick(0, 10)].first, kDros[pick(0, 10)].second});
    else if (roll < 99)
      actions.push_back({Kind::Reverse, pick(0, 2), static_cast<double>(pick(0, 1))});
    else
      actions.push_back({Kind::Noise, 0, static_cast<double>(pick(0, 0xFFFF))});
  }
  // Every session ends with everything let go, reported once more (an
  // on-change pendant that came back has said nothing yet) and a few polls,
  // so each one is judged.
  actions.push_back({Kind::Replug});
  actions.push_back({Kind::ReleaseAll});
  actions.push_back({Kind::Send, 1});
  actions.push_back({Kind::Poll, 3});
  return actions;
}

// Removes chunks, down to single actions, while the session still fails.
std::vector<Action> ShrinkWith(std::vector<Action> actions, int rate, const JogHostModel& faults) {
  JogHostModel scratch;
  for (std::size_t chunk = actions.size() / 2; chunk >= 1; chunk /= 2) {
    for (std::size_t start = 0; start + chunk <= actions.size();) {
      std::vector<Action> candidate(actions.begin(), actions.begin() + static_cast<std::ptrdiff_t>(start));
      candidate.insert(candidate.end(), actions.begin() + static_cast<std::ptrdiff_t>(start + chunk), actions.end());
      scratch = JogHostModel{};
      scratch.deafTo = faults.deafTo;
      scratch.darkFor = faults.darkFor;
      if (RunSession(candidate, scratch, rate))
        actions = candidate;
      else
        start += chunk;
    }
  }
  return actions;
}

constexpr std::uint32_t kSessions = 20000;

TEST(JogSafetyTest, NoAxisKeepsJoggingOnceEveryButtonIsUpAndUnplugAlwaysStops) {
  int sessionsThatJogged = 0;
  int unplugsWhileJogging = 0;
  for (std::uint32_t seed = 1; seed <= kSessions; ++seed) {
    const std::vector<Action> session = RandomSession(seed);
    const int rate = RandomRate(seed);
    JogHostModel host;
    const std::optional<std::string> failure = RunSession(session, host, rate);
    if (failure) {
      const std::vector<Action> minimal = ShrinkWith(session, rate, JogHostModel{});
      JogHostModel again;
      FAIL() << "seed " << seed << ": " << RunSession(minimal, again, rate).value_or(*failure)
             << "\nminimal sequence (a fresh module, pendant connected, rate jog mode, "
             << (rate == 0 ? std::string("reports on change") : std::to_string(rate) + " report(s) per poll")
             << "):\n"
             << Describe(minimal);
    }
    if (host.jogStarts > 0) ++sessionsThatJogged;
    unplugsWhileJogging += host.unplugsWhileJogging;
  }
  ResetModuleState();
  // The sessions must actually jog and unplug mid-jog, or the property proves nothing.
  EXPECT_GT(sessionsThatJogged, static_cast<int>(kSessions) / 5);
  EXPECT_GT(unplugsWhileJogging, static_cast<int>(kSessions) / 50);
}

// The judge itself: a host that misses an end code or the unplug's 1021 is
// caught, and the shrinker cuts the session down to the few steps that matter.
TEST(JogSafetyTest, TheJudgeCatchesALostEndCodeAndALost1021) {
  const std::vector<Action> jogX = {{Kind::Press, 19}, {Kind::Poll, 1}, {Kind::Release, 19}, {Kind::Poll, 1},
                                    {Kind::Press, 10}, {Kind::Poll, 1}};
  JogHostModel host;
  EXPECT_FALSE(RunSession(jogX, host));
  EXPECT_TRUE(host.jogging[0]);

  std::vector<Action> released = jogX;
  released.insert(released.begin(), {Kind::Ticks, 4});
  released.insert(released.end(), {{Kind::Led, 800, 1}, {Kind::Release, 10}, {Kind::Stall, 2}, {Kind::Poll, 2}});
  JogHostModel stalled;
  EXPECT_FALSE(RunSession(released, stalled));  // stalls excuse a late end code
  EXPECT_TRUE(stalled.jogging[0]);
  released.push_back({Kind::Poll, 2});
  JogHostModel deaf;
  deaf.deafTo = {334};
  const std::optional<std::string> failure = RunSession(released, deaf);
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->find("axis X still jogging"), std::string::npos) << *failure;
  const std::vector<Action> minimal = ShrinkWith(released, 1, deaf);
  EXPECT_LT(minimal.size(), released.size());
  JogHostModel deafAgain;
  deafAgain.deafTo = {334};
  EXPECT_TRUE(RunSession(minimal, deafAgain));
  const std::string text = Describe(minimal);
  EXPECT_EQ(text.find("stall"), std::string::npos) << text;
  EXPECT_EQ(text.find("LED"), std::string::npos) << text;
  EXPECT_NE(text.find("release 10"), std::string::npos) << text;

  std::vector<Action> unplugged = jogX;
  unplugged.push_back({Kind::Unplug});
  JogHostModel noEStop;
  noEStop.deafTo = {1021};
  const std::optional<std::string> lost = RunSession(unplugged, noEStop);
  ASSERT_TRUE(lost);
  EXPECT_NE(lost->find("an unplug while an axis jogged sent no DoButton 1021"), std::string::npos) << *lost;

  unplugged.back() = {Kind::UnplugSilent};
  unplugged.push_back({Kind::Poll, 1});
  JogHostModel unnoticed;
  unnoticed.deafTo = {1021};
  const std::optional<std::string> silent = RunSession(unplugged, unnoticed, 0);
  ASSERT_TRUE(silent);
  EXPECT_NE(silent->find("a silent unplug while an axis jogged"), std::string::npos) << *silent;

  // A plug-in that does not see LED 800 sends the removal's 1021 into an E-stop.
  unplugged.insert(unplugged.end() - 2, {Kind::Led, 800, 1});
  JogHostModel stopped;
  EXPECT_FALSE(RunSession(unplugged, stopped, 5));
  JogHostModel blind;
  blind.darkFor = {800};
  const std::optional<std::string> released1021 = RunSession(unplugged, blind, 5);
  ASSERT_TRUE(released1021);
  EXPECT_NE(released1021->find("sent DoButton 1021 while LED 800 was lit"), std::string::npos) << *released1021;
  ResetModuleState();
}

}  // namespace
}  // namespace quenta
