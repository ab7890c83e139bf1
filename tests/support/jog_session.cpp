#include "tests/support/jog_session.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "config/choice_lists.h"
#include "config/pendant_settings.h"
#include "device/pendant_link.h"
#include "sim/native_module.h"

namespace quenta::jog_session {

namespace {

using sim::HostCallKind;

constexpr int kAxes = 4;
constexpr int kShift = 8;
constexpr int kEStop = 9;
constexpr int kFirstJogBit = 10;
constexpr int kJogButtons = 8;
constexpr std::uint32_t kButtonMask = 0x1FFFFF00u;  // bits 8 to 28
constexpr const char* kAxisNames = "XYZA";

bool Bit(std::uint32_t word, int bit) { return ((word >> bit) & 1u) != 0; }
int StartAxis(int code) { return code >= 307 && code <= 314 ? (code - 307) / 2 : -1; }
int EndAxis(int code) { return code >= 334 && code <= 337 ? code - 334 : -1; }
// A jog button down as the jog handlers see it: bits 16 and 17 count only without Shift.
bool JogDown(std::uint32_t word, int bit) { return Bit(word, bit) && (bit < 16 || !Bit(word, kShift)); }
// Up as the jog handlers see it: bits 16 and 17 also need Shift up.
bool ButtonLetGo(std::uint32_t word, int bit) { return !Bit(word, bit) && (bit < 16 || !Bit(word, kShift)); }
// Let go as the jog handlers see it: A's end also waits for Shift to be up.
bool AxisReleased(std::uint32_t word, int axis) {
  const bool up = !Bit(word, kFirstJogBit + 2 * axis) && !Bit(word, kFirstJogBit + 2 * axis + 1);
  return axis == 3 ? up && !Bit(word, kShift) : up;
}
std::uint32_t Word(const InputReport& report) { return ButtonWord(report); }

bool IsQuestion(HostCallKind kind) { return kind == HostCallKind::GetLED || kind == HostCallKind::GetDRO; }

HostCallKind CallKind(int a) {
  static const HostCallKind kKinds[] = {HostCallKind::DoButton, HostCallKind::Code, HostCallKind::SetDRO,
                                        HostCallKind::GetLED, HostCallKind::GetDRO};
  return kKinds[static_cast<std::size_t>(a) % std::size(kKinds)];
}

constexpr int kFunctionKeys = 2;
constexpr int kFirstFunctionKeyBit = 16;
constexpr int kFailingCyclesToLoss = 8;

// The DoButton code a function key sends for an OEM entry, or -1: no other
// entry of the list sends a code the judge follows.
int FunctionKeyOemCode(const PendantSettings& settings, int key) {
  const int position = settings.BUTTON[key];
  if (position < 0 || position >= kFunctionListSize) return -1;
  const std::int32_t entry = EntryCode(FunctionList[position]);
  const std::int16_t oem[] = {settings.OEM1, settings.OEM2, settings.OEM3, settings.OEM4};
  return entry >= 813 && entry <= 816 ? oem[entry - 813] : -1;
}

// What the host was told and what the plug-in read, against the rules of
// the header. It sees every host call as it is made (LED 800 as it was
// before the call), every report as a read of the plug-in takes it, and
// every timer message as it begins.
class Judge {
 public:
  Judge(const Faults& faults, const PendantSettings& settings) : faults_(faults), settings_(settings) {}

  std::optional<std::string> breach;
  Outcome stats;

  void OnCall(HostCallKind kind, int number) {
    const bool doButton = kind == HostCallKind::DoButton;
    if (doButton && (Deaf(number) || SentByFunctionKey(number))) return;
    if (stopping_) {
      const int axis = doButton ? EndAxis(number) : -1;
      if (axis < 0 || !everStarted_[static_cast<std::size_t>(axis)])
        Breach(std::string(doButton ? "DoButton " + std::to_string(number) : "a host call") + " after StopPlug");
      else
        Ended(axis);
      return;
    }
    if (!doButton) return;
    if (number == 1021) EStopCode();
    if (const int axis = StartAxis(number); axis >= 0) Started(axis, number);
    if (const int axis = EndAxis(number); axis >= 0) Ended(axis);
  }

  void OnRead(std::uint32_t word) {
    const std::uint32_t before = lastRead_;
    lastRead_ = word;
    readSinceFound_ = true;
    downSinceRead_ = false;
    failingCycles_ = 0;
    for (int axis = 0; axis < kAxes; ++axis) {
      long& at = releaseReadAt_[static_cast<std::size_t>(axis)];
      if (!AxisReleased(word, axis))
        at = -1;
      else if (jogging_[static_cast<std::size_t>(axis)] && at < 0)
        at = timers_;
    }
    const bool eStopNow = Bit(word, kEStop) && !Bit(word, kShift);
    const bool eStopBefore = Bit(before, kEStop) && !Bit(before, kShift);
    if (eStopNow && !eStopBefore) eStopHeld_ = true;
    if (!eStopNow) {
      eStopHeld_ = false;
      eStopWaitedDueAt_ = -1;  // let go before the plug-in could act again
    }
    if (eStopHeld_ && !led800_ && eStopDueAt_ < 0) EStopDue(batchRead_);
    // The chord that resets the stop acts once per press, both buttons down;
    // a backlog a device change took may hold several presses before any acts.
    const bool chordNow = Bit(word, kEStop) && Bit(word, kShift);
    const bool chordBefore = Bit(before, kEStop) && Bit(before, kShift);
    if (chordNow && !chordBefore)
      ++chordPresses_;
    else if (!chordNow && !batchRead_)
      chordPresses_ = 0;
    // The jog mode follows the press edges of bits 18, then 19, as the plug-in takes them.
    const bool rateEdge = Bit(word, 18) && !Bit(before, 18);
    const bool stepEdge = Bit(word, 19) && !Bit(before, 19);
    if (rateEdge) stepMode_ = false;
    if (stepEdge) stepMode_ = true;
    // A jog-mode button down is a mode in play: when the plug-in takes its edge is its own.
    if (Bit(word, 18) || Bit(word, 19)) modeInPlaySinceGap_ = true;
    for (int b = 0; b < kJogButtons; ++b) {
      const int bit = kFirstJogBit + b;
      if (JogDown(word, bit) && !JogDown(beforeGapEdges_, bit)) ++pressesSinceGap_[static_cast<std::size_t>(b)];
      if (!JogDown(word, bit)) upSinceGap_ |= 1u << bit;
    }
    // A function key acts at its release with Shift down, once per press with Shift.
    for (int key = 0; key < kFunctionKeys; ++key) {
      const int bit = kFirstFunctionKeyBit + key;
      bool& latched = functionKeyLatched_[static_cast<std::size_t>(key)];
      if (!latched && Bit(word, bit) && Bit(word, kShift)) {
        latched = true;
      } else if (latched && !Bit(word, bit) && Bit(word, kShift)) {
        latched = false;
        ++functionKeyOwed_[static_cast<std::size_t>(key)];
      }
    }
    beforeGapEdges_ = word;
    readThisStep_ |= word;
    for (int bit = kFirstJogBit; bit < kFirstJogBit + kJogButtons; ++bit)
      if (JogDown(word, bit)) jogsReadThisStep_ |= 1u << bit;
  }

  // connected: the link was up as this timer message began; failing: the
  // pendant is present and its reads fail.
  void OnTimer(bool connected, bool failing) {
    if (callsInside_ > 0) ++stats.timersInsideCalls;
    // A timer message inside a question waits for the handler that asked: no poll cycle of its own.
    if (questionsInside_ > 0) return;
    ++timers_;
    if (connected && failing) ++failingCycles_;
    for (int axis = 0; axis < kAxes; ++axis) {
      const long at = releaseReadAt_[static_cast<std::size_t>(axis)];
      if (jogging_[static_cast<std::size_t>(axis)] && at >= 0 && timers_ - at >= 2)
        Breach(std::string("axis ") + kAxisNames[axis] + " still jogging " + std::to_string(timers_ - at) +
               " timer messages after its release was read");
    }
    const bool late = (eStopDueAt_ >= 0 && eStopDueAt_ < timers_) || (eStopWaitedDueAt_ >= 0 && eStopWaitedDueAt_ < timers_);
    if (late && !stopping_) Breach("an E-stop held with LED 800 dark sent no DoButton 1021 before the next timer message");
  }

  // A device change may take a handle's whole backlog at once, before acting
  // on it: until the step ends, the last report read need not be the one
  // acted on. Any arrival opens the pendant afresh.
  void OnDeviceChange(bool arrival) {
    batchRead_ = true;
    if (arrival) failingCycles_ = 0;
  }

  // After every step the session takes, also inside host calls. A removal
  // is judged over the whole top-level step (or poll cycle) it happened in:
  // its 1021 may follow the reports the link still held, and the calls those
  // made.
  void Checkpoint(bool connected, bool present, bool failing, bool topLevel) {
    // LED 800 as the step began: the removal's own 1021 has toggled it since.
    if (connected_ && !connected) WentDown(Down{AnyJogging(), present && failing, readSinceFound_, led800AtCheckpoint_});
    led800AtCheckpoint_ = led800_;
    if (!connected_ && connected) CameBack();
    connected_ = connected;
    if (!connected) failingCycles_ = 0;
    if (connected && failingCycles_ >= kFailingCyclesToLoss && !stopping_)
      Breach("the link was still up after " + std::to_string(failingCycles_) + " failing poll cycles");
    if (!topLevel) return;
    if (stopping_ && AnyJogging()) Breach("a jog still ran when StopPlug had returned");
    if (down_ && !stopping_) JudgeRemoval(*down_);
    down_.reset();
    if (!(Bit(lastRead_, kEStop) && Bit(lastRead_, kShift))) chordPresses_ = 0;
    readThisStep_ = 0;
    jogsReadThisStep_ = 0;
    owedAfterRemoval_ = 0;
    modesAtRemoval_ = 0;
    functionKeyOwed_.fill(0);
    batchRead_ = false;
    chordReset_ = false;
    functionKeyStop_ = false;
    led800SetByHost_ = false;
    led800ChangedInItsQuestion_ = false;
  }

  // The link stayed up, as far as any step could see, through the pendant's
  // leaving and the arrival that found it again: a removal and a gap all the same.
  void VanishedAndBack() {
    WentDown(Down{AnyJogging(), false, readSinceFound_, led800AtCheckpoint_});
    CameBack();
  }

  void EnterCall(HostCallKind kind) {
    ++callsInside_;
    if (IsQuestion(kind)) ++questionsInside_;
  }
  void LeaveCall(HostCallKind kind) {
    --callsInside_;
    if (IsQuestion(kind)) --questionsInside_;
  }

  void OnStop() {
    if (stopping_) return;
    stopping_ = true;
    if (AnyJogging()) ++stats.stopsWhileJogging;
  }

  // LED 800 as the host holds it. byHost: the session set it (the host's own
  // reset or stop), not a 1021 of the plug-in.
  void SetLed800(bool lit, bool byHost) {
    if (byHost && lit != led800_) led800SetByHost_ = true;
    const bool darkened = led800_ && !lit;
    led800_ = lit;
    // A held E-stop waited for LED 800: the next timer message acts on it,
    // while the link is up and has read since it was found, unless a report
    // that lets it go comes first.
    if (darkened && eStopHeld_ && connected_ && readSinceFound_ && eStopWaitedDueAt_ < 0)
      eStopWaitedDueAt_ = timers_ + 1;
    if (lit) eStopWaitedDueAt_ = -1;  // lit again before the plug-in could look
  }
  // The host changed LED 800 inside its own GetLED(800): the answer is of
  // the moment the plug-in asked, so the 1021 it acts on next is nobody's to judge.
  void Led800ChangedInItsQuestion() { led800ChangedInItsQuestion_ = true; }
  void Connected(bool connected) { connected_ = connected; }
  bool AnyJogging() const { return std::find(jogging_.begin(), jogging_.end(), true) != jogging_.end(); }

 private:
  struct Down {
    bool jogging;
    bool throughFailures;
    bool readSinceFound;
    bool led800;
  };

  bool Deaf(int code) const {
    return std::find(faults_.deafTo.begin(), faults_.deafTo.end(), code) != faults_.deafTo.end();
  }

  // A function key set to an OEM code that is a jog or E-stop code sends it
  // as the operator chose: the one call each release of the key owes is
  // nobody's to judge, and nothing else is excused.
  bool SentByFunctionKey(int code) {
    for (int key = 0; key < kFunctionKeys; ++key) {
      int& owed = functionKeyOwed_[static_cast<std::size_t>(key)];
      if (owed == 0 || FunctionKeyOemCode(settings_, key) != code) continue;
      --owed;
      if (code == 1021) functionKeyStop_ = true;
      return true;
    }
    return false;
  }

  // Due before the timer message after the next one when a device change
  // took a backlog (the report is acted on by the first timer message inside
  // a call that pumps), else before the next.
  void EStopDue(bool late) { eStopDueAt_ = late ? timers_ + 1 : timers_; }

  // 1021 toggles the host's E-stop. While LED 800 is lit it takes the
  // machine out of it: only the chord may do that, read with both buttons down.
  void EStopCode() {
    if (led800_) {
      if (chordPresses_ == 0 && !led800ChangedInItsQuestion_)
        Breach("DoButton 1021 switched LED 800 off without the Shift+E-stop chord read");
      led800ChangedInItsQuestion_ = false;
      if (chordPresses_ > 0) --chordPresses_;
      chordReset_ = true;
    }
    eStopDueAt_ = eStopWaitedDueAt_ = -1;
    eStopHeld_ = false;
  }

  void Ended(int axis) {
    jogging_[static_cast<std::size_t>(axis)] = false;
    releaseReadAt_[static_cast<std::size_t>(axis)] = -1;
  }

  void Started(int axis, int code) {
    ++stats.jogStarts;
    const int button = StartButton(code);
    const int bit = kFirstJogBit + button;
    if (!batchRead_ && ButtonLetGo(lastRead_, bit))
      Breach("start code " + std::to_string(code) + " of axis " + kAxisNames[axis] +
             " after the last report read let its button go");
    // After a removal the rules owe only what the reports read before it
    // still make: the calling handler's remaining calls and the rest of the
    // report, all within the step of the removal.
    if (downSinceRead_ && !Bit(owedAfterRemoval_, bit))
      Breach("start code " + std::to_string(code) + " after a removal, from no report read before it");
    const std::size_t a = static_cast<std::size_t>(axis);
    const int presses = std::max(pressesSinceGap_[2 * a], pressesSinceGap_[2 * a + 1]);
    // A start under way when the link went, in the step of the gap, goes on as begun.
    const bool begunBeforeGap = Bit(owedAfterRemoval_, bit) && !Bit(upSinceGap_, bit);
    // The jog mode, like the buttons, is known only for the report acted on:
    // not while a backlog a device change took is being worked through.
    if (!batchRead_ && afterGap_ && !stepMode_ && !modeInPlaySinceGap_ && presses < 2 && !begunBeforeGap)
      Breach("start code " + std::to_string(code) + " in rate jog mode from a single press after a gap");
    jogging_[a] = true;
    releaseReadAt_[a] = AxisReleased(lastRead_, axis) ? timers_ : -1;
    everStarted_[a] = true;
  }

  // The button, 0 to 7, whose press sends this start code under the reverse settings in force.
  int StartButton(int code) const {
    const int index = code - 307;
    const bool reversed[] = {settings_.Xreverse, settings_.Yreverse, settings_.Zreverse, false};
    return reversed[index / 2] ? index ^ 1 : index;
  }

  // Several removals in one step are judged as one: a stop is due if any
  // came with LED 800 dark after the pendant had sent something.
  void WentDown(const Down& down) {
    if (down_) {
      down_->jogging = down_->jogging || down.jogging;
      down_->throughFailures = down_->throughFailures && down.throughFailures;
      down_->readSinceFound = down_->readSinceFound || down.readSinceFound;
      down_->led800 = down_->led800 && down.led800;
    } else {
      down_ = down;
    }
    downSinceRead_ = true;
    owedAfterRemoval_ |= jogsReadThisStep_;
    modesAtRemoval_ |= readThisStep_ & (1u << 18 | 1u << 19);
  }

  // A removal with LED 800 dark is a stop the operator asked for: LED 800 is
  // lit when the step is over. A pendant lost through failures, and not read
  // since it was found, has sent nothing to stop for. Named exceptions: the
  // host set LED 800 itself in that step (the plug-in may have asked before
  // or after), the chord reset the stop in it, a function key sent 1021 in it.
  void JudgeRemoval(const Down& down) {
    if (down.jogging && !down.led800) ++stats.removalsWhileJogging;
    if (led800SetByHost_ || chordReset_ || functionKeyStop_) return;
    if (!down.led800 && !led800_ && (!down.throughFailures || down.readSinceFound))
      Breach(std::string("a removal with LED 800 dark left it dark") + (down.jogging ? " while an axis jogged" : ""));
  }

  // Back after a gap: presses are counted afresh, a button held across the
  // gap included; a function key pressed before it completes nothing.
  void CameBack() {
    afterGap_ = true;
    readSinceFound_ = false;
    pressesSinceGap_.fill(0);
    modeInPlaySinceGap_ = Bit(modesAtRemoval_ | beforeGapEdges_, 18) || Bit(modesAtRemoval_ | beforeGapEdges_, 19);
    upSinceGap_ = 0;
    beforeGapEdges_ = 0;
    functionKeyLatched_.fill(false);
    failingCycles_ = 0;
  }

  void Breach(const std::string& what) {
    if (!breach) breach = what;
  }

  const Faults& faults_;
  const PendantSettings& settings_;
  std::array<bool, kAxes> jogging_{};       // the host's view, from the start and end codes it got
  std::array<long, kAxes> releaseReadAt_{-1, -1, -1, -1};  // the timer message that read the release
  // After StopPlug only end codes may go out, of axes the host was told to
  // jog: which of an axis's two buttons an end code ends is the plug-in's.
  std::array<bool, kAxes> everStarted_{};
  long timers_ = 0;
  std::uint32_t lastRead_ = 0;
  std::uint32_t beforeGapEdges_ = 0;
  std::uint32_t upSinceGap_ = 0;        // jog bits seen up in a report read since
  std::uint32_t readThisStep_ = 0;      // every bit down in a report read in this top-level step
  std::uint32_t jogsReadThisStep_ = 0;  // jog buttons down, as the jog handlers see them, in those reports
  std::uint32_t owedAfterRemoval_ = 0;  // the same, as the link went down in this step
  std::uint32_t modesAtRemoval_ = 0;    // jog-mode buttons down in reports read in this step, as it went down
  std::array<int, kJogButtons> pressesSinceGap_{};
  std::array<bool, kFunctionKeys> functionKeyLatched_{};
  std::array<int, kFunctionKeys> functionKeyOwed_{};  // releases read in this step, each owed one call
  long eStopDueAt_ = -1;        // a press read while LED 800 was dark
  long eStopWaitedDueAt_ = -1;  // LED 800 went dark while a refused press was held
  int failingCycles_ = 0;  // timer messages with a failing read since a report was read or the pendant found
  bool eStopHeld_ = false;  // pressed without Shift, not let go since
  int chordPresses_ = 0;    // Shift+E-stop presses read and not yet spent by a reset
  bool led800_ = false;
  bool led800AtCheckpoint_ = false;
  bool connected_ = false;
  bool readSinceFound_ = false;
  bool downSinceRead_ = false;  // the link went down and no report was read since
  std::optional<Down> down_;    // the link went down in this top-level step
  bool chordReset_ = false;     // in this top-level step
  bool functionKeyStop_ = false;
  bool led800SetByHost_ = false;
  bool led800ChangedInItsQuestion_ = false;
  bool stopping_ = false;
  bool afterGap_ = false;
  bool modeInPlaySinceGap_ = false;
  bool stepMode_ = false;
  bool batchRead_ = false;
  int callsInside_ = 0;
  int questionsInside_ = 0;
};

// The Settings field an Action of kind Setting changes, by its `a`.
void ChangeSetting(PendantSettings& s, int which, double value) {
  std::int16_t* numbers[] = {&s.BUTTON[0], &s.BUTTON[1], &s.Macro1, &s.Macro2, &s.Macro3,     &s.Macro4,
                             &s.OEM1,      &s.OEM2,      &s.OEM3,   &s.OEM4,   &s.ScreenSel1, &s.ScreenSel2,
                             &s.ScreenSel3};
  bool* flags[] = {&s.Xreverse, &s.Yreverse, &s.Zreverse};
  const std::size_t index = static_cast<std::size_t>(which) % (std::size(numbers) + std::size(flags));
  if (index < std::size(numbers))
    *numbers[index] = static_cast<std::int16_t>(value);
  else
    *flags[index - std::size(numbers)] = value != 0;
}

// One host for every session of the process, reset for each.
sim::ScriptedHost& SharedHost() {
  static sim::ScriptedHost host;
  return host;
}

sim::ScriptedHost& ResetHost(sim::ScriptedHost& host) {
  host.Reset();
  return host;
}

class Session {
 public:
  Session(const std::vector<Action>& actions, int rate, const Faults& faults)
      : actions_(actions), faults_(faults), rate_(rate), judge_(faults, module_.Core().Settings()) {
    path_ = hid_.AddPendant().path;
    hid_.onRead = [this](const InputReport& report) { judge_.OnRead(Word(report)); };
    host_.SetCallHook([this](HostCallKind kind, int number) { OnHostCall(kind, number); });
    module_.Start("");
    judge_.Connected(Connected());
  }

  Outcome Run() {
    for (std::size_t i = 0; i < actions_.size() && !judge_.breach;) {
      step_ = i + 1;
      for (const auto& [at, code] : faults_.heard)
        if (at == i) judge_.OnCall(HostCallKind::DoButton, code);
      const Action& action = actions_[i];
      if (action.kind == Kind::Inside) {
        const std::size_t count = std::min(static_cast<std::size_t>(action.b), actions_.size() - i - 1);
        inside_ = Waiting{CallKind(action.a), i + 1, count};
        i += 1 + count;
        continue;
      }
      Execute(action);
      host_.TakeCalls();
      ++i;
    }
    host_.SetCallHook(nullptr);
    module_.Core().StopPlug();
    Outcome outcome = judge_.stats;
    outcome.breach = judge_.breach;
    if (outcome.breach) *outcome.breach += " (step " + std::to_string(step_) + ")";
    outcome.leaks = hid_.openHandles != 0 || host_.Strings().badFrees != badFreesBefore_;
    return outcome;
  }

 private:
  struct Waiting {
    HostCallKind kind;
    std::size_t first;
    std::size_t count;
  };

  bool Present() { return hid_.Find(path_)->present; }
  bool Connected() { return module_.Link() != nullptr && module_.Link()->Connected(); }

  void Execute(const Action& action) {
    switch (action.kind) {
      case Kind::Press: SetWord(Word(report_) | 1u << action.a); break;
      case Kind::Release: SetWord(Word(report_) & ~(1u << action.a)); break;
      case Kind::ReleaseAll: SetWord(Word(report_) & ~kButtonMask); break;
      case Kind::Raw:
        std::copy_n(action.bytes.begin(), std::min(action.bytes.size(), report_.size()), report_.begin());
        if (rate_ == 0) hid_.Send(path_, report_);
        break;
      case Kind::Ticks:
        for (int i = 0; i < action.a; ++i) module_.Core().Update();
        break;
      case Kind::Poll:
        for (int i = 0; i < action.a && !judge_.breach; ++i) PollCycle();
        break;
      case Kind::Stall: stalls_ += action.a; break;
      case Kind::Send: hid_.Send(path_, report_, action.a); break;
      case Kind::Rate: rate_ = action.a; break;
      case Kind::Unplug:
      case Kind::UnplugSilent:
        if (!Present()) break;
        hid_.Unplug(path_);
        leftWhileUp_ = Connected();
        if (action.kind == Kind::Unplug) Deliver(kDeviceRemoveComplete, DeviceInterfaceBroadcast(path_));
        break;
      case Kind::Replug:
        if (Present()) break;
        hid_.Replug(path_);
        Deliver(kDeviceArrival, {});
        break;
      case Kind::Plug:
        if (Present()) break;
        path_ = hid_.AddPendant().path;
        hid_.SetFailing(path_, failing_);  // failing is the pendant's mode, on any path
        Deliver(kDeviceArrival, {});
        break;
      case Kind::OtherArrives:
        hid_.AddOtherDevice(0x046D, 0xC077);
        Deliver(kDeviceArrival, {});
        break;
      case Kind::Broadcast: {
        // A record of any content, sized by its own size field as Windows sends it.
        std::vector<std::uint8_t> record = action.bytes;
        record.resize(std::max<std::size_t>(record.size(), 4));
        const auto size = static_cast<std::uint32_t>(record.size());
        for (int i = 0; i < 4; ++i) record[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
        Deliver(action.a != 0 ? kDeviceRemoveComplete : kDeviceArrival, record);
        break;
      }
      case Kind::Led:
        SetLed(action.a, action.b != 0, true);
        if (action.a == 800 && led800Question_ > 0) judge_.Led800ChangedInItsQuestion();
        break;
      case Kind::Dro: host_.SetDro(action.a, action.b); break;
      case Kind::Setting: ChangeSetting(module_.Core().Settings(), action.a, action.b); break;
      case Kind::Fail:
        failing_ = action.b != 0;
        hid_.SetFailing(path_, failing_);
        break;
      case Kind::Inside: break;  // only at the top level
      case Kind::Stop:
        judge_.OnStop();
        module_.Core().StopPlug();
        break;
    }
    Checkpoint();
  }

  // byHost: the session's own change, not the host's answer to a 1021.
  void SetLed(int led, bool lit, bool byHost) {
    const bool dark = std::find(faults_.darkFor.begin(), faults_.darkFor.end(), led) != faults_.darkFor.end();
    host_.SetLed(led, lit && !dark);
    if (led != 800) return;
    led800_ = lit;
    judge_.SetLed800(lit, byHost);
  }

  void SetWord(std::uint32_t word) {
    for (int b = 0; b < 4; ++b) report_[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(word >> (8 * b));
    if (rate_ == 0) hid_.Send(path_, report_);
  }

  void PollCycle() {
    if (stalls_ > 0)
      --stalls_;
    else if (rate_ > 0)
      hid_.Send(path_, report_, rate_);
    judge_.OnTimer(Connected(), failing_ && Present());
    module_.Timer();
    Checkpoint();
  }

  void Deliver(unsigned event, const std::vector<std::uint8_t>& record) {
    judge_.OnDeviceChange(event == kDeviceArrival);
    module_.DeviceChange(event, record.empty() ? nullptr : record.data());
    if (event == kDeviceArrival && leftWhileUp_ && Connected() && Present()) {
      leftWhileUp_ = false;
      judge_.VanishedAndBack();
    }
    Checkpoint();
  }

  void Checkpoint() {
    if (!Connected()) leftWhileUp_ = false;
    judge_.Checkpoint(Connected(), Present(), failing_, depth_ == 0);
  }

  // The host's own message loop inside a call: the actions that wait for it run now.
  // As a real host does, 1021 toggles its E-stop, and LED 800 with it.
  void OnHostCall(HostCallKind kind, int number) {
    judge_.OnCall(kind, number);
    const bool deaf = std::find(faults_.deafTo.begin(), faults_.deafTo.end(), number) != faults_.deafTo.end();
    if (kind == HostCallKind::DoButton && number == 1021 && !deaf) SetLed(800, !led800_, false);
    if (!inside_ || inside_->kind != kind) return;
    const Waiting block = *inside_;
    inside_.reset();
    judge_.EnterCall(kind);
    const bool led800Question = kind == HostCallKind::GetLED && number == 800;
    led800Question_ += led800Question;
    ++depth_;
    Checkpoint();  // what the plug-in did before this call, seen before the host's loop changes anything
    for (std::size_t i = block.first; i < block.first + block.count && !judge_.breach; ++i) Execute(actions_[i]);
    --depth_;
    led800Question_ -= led800Question;
    judge_.LeaveCall(kind);
  }

  const std::vector<Action>& actions_;
  const Faults& faults_;
  sim::ScriptedHost& host_ = ResetHost(SharedHost());
  sim::NativeModule module_{host_};
  VirtualHidSystem& hid_ = module_.Hid();
  std::string path_;
  InputReport report_{};
  int rate_;
  int stalls_ = 0;
  bool failing_ = false;
  bool led800_ = false;  // as the host holds it
  // Gone while the link was up, and the link not seen down since: a removal
  // without notice, or one whose notice waited for a question to the host.
  bool leftWhileUp_ = false;
  std::optional<Waiting> inside_;
  int depth_ = 0;  // inside a host call's own message loop
  int led800Question_ = 0;  // inside the host's GetLED(800)
  const int badFreesBefore_ = host_.Strings().badFrees;
  std::size_t step_ = 0;
  Judge judge_;
};

const char* CallName(int a) {
  static const char* const kNames[] = {"DoButton", "Code", "SetDRO", "GetLED", "GetDRO"};
  return kNames[static_cast<std::size_t>(a) % std::size(kNames)];
}

}  // namespace

Outcome RunSession(const std::vector<Action>& actions, int rate, const Faults& faults) {
  return Session(actions, rate, faults).Run();
}

std::string Describe(const std::vector<Action>& actions) {
  std::ostringstream text;
  int insideLeft = 0;
  for (const Action& action : actions) {
    text << (insideLeft-- > 0 ? "    " : "  ");
    switch (action.kind) {
      case Kind::Press: text << "press " << action.a; break;
      case Kind::Release: text << "release " << action.a; break;
      case Kind::ReleaseAll: text << "release all"; break;
      case Kind::Raw: text << "raw report"; for (std::uint8_t byte : action.bytes) text << ' ' << int(byte); break;
      case Kind::Ticks: text << "tick " << action.a; break;
      case Kind::Poll: text << "poll " << action.a; break;
      case Kind::Stall: text << "stall " << action.a; break;
      case Kind::Send: text << "send " << action.a; break;
      case Kind::Rate: text << "rate " << action.a << (action.a == 0 ? " (on change)" : " per poll"); break;
      case Kind::Unplug: text << "unplug"; break;
      case Kind::UnplugSilent: text << "unplug silent"; break;
      case Kind::Replug: text << "replug"; break;
      case Kind::Plug: text << "plug into another port"; break;
      case Kind::OtherArrives: text << "another HID device arrives"; break;
      case Kind::Broadcast: text << (action.a != 0 ? "removal" : "arrival") << " record of " << action.bytes.size() << " bytes"; break;
      case Kind::Led: text << "LED " << action.a << (action.b != 0 ? " lit" : " off"); break;
      case Kind::Dro: text << "DRO " << action.a << " = " << action.b; break;
      case Kind::Setting: text << "setting " << action.a << " = " << action.b; break;
      case Kind::Fail: text << (action.b != 0 ? "fail on" : "fail off"); break;
      case Kind::Inside:
        text << "inside the next " << CallName(action.a) << ", the " << action.b << " step(s) below";
        insideLeft = static_cast<int>(action.b);
        break;
      case Kind::Stop: text << "StopPlug"; break;
    }
    text << '\n';
  }
  return text.str();
}

// Passes until none removes anything: a later removal can make an earlier step removable.
std::vector<Action> Shrink(std::vector<Action> actions, int rate, const Faults& faults) {
  for (std::size_t before = 0; before != actions.size();) {
    before = actions.size();
    for (std::size_t chunk = std::max<std::size_t>(actions.size() / 2, 1); chunk >= 1; chunk /= 2) {
      for (std::size_t start = 0; start + chunk <= actions.size();) {
        std::vector<Action> candidate(actions.begin(), actions.begin() + static_cast<std::ptrdiff_t>(start));
        candidate.insert(candidate.end(), actions.begin() + static_cast<std::ptrdiff_t>(start + chunk), actions.end());
        if (RunSession(candidate, rate, faults).breach)
          actions = std::move(candidate);
        else
          start += chunk;
      }
    }
  }
  return actions;
}

}  // namespace quenta::jog_session
