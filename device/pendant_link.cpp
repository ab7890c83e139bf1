#include "device/pendant_link.h"

#include <cstring>

namespace quenta {

namespace {

constexpr std::size_t kBroadcastNameOffset = 28;  // after size, type, reserved and the class GUID

std::uint32_t ReadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Counts something under way for a scope.
class Counted {
 public:
  explicit Counted(int& count) : count_(count) { ++count_; }
  ~Counted() { --count_; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

 private:
  int& count_;
};

std::string OpenFailureText(const HidOpenFailure& failure) {
  const char* why = "";
  switch (failure.error) {
    case HidOpenError::Missing: why = "not there"; break;
    case HidOpenError::InUse: why = "in use by another program"; break;
    case HidOpenError::AccessDenied: why = "access denied"; break;
    case HidOpenError::Other:
    case HidOpenError::None: why = "refused"; break;
  }
  return std::string(why) + " (error " + std::to_string(failure.systemCode) + ")";
}

std::string CallFailureText(const HidCallFailure& failure) {
  return std::string(failure.call) + " error " + std::to_string(failure.systemCode);
}

}  // namespace

std::string BroadcastInterfaceName(const void* data) {
  if (data == nullptr) return {};
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::uint32_t size = ReadU32(bytes);
  if (size <= kBroadcastNameOffset || ReadU32(bytes + 4) != kDeviceTypeInterface) return {};
  const char* name = reinterpret_cast<const char*>(bytes + kBroadcastNameOffset);
  const std::size_t room = size - kBroadcastNameOffset;
  const void* end = std::memchr(name, '\0', room);
  return std::string(name, end ? static_cast<const char*>(end) - name : room);
}

// The host as this link's control logic sees it: silent once the link is
// stopped, and counting the calls under way so that the link knows where a
// message comes from.
class PandrelWin::Gate : public HostPort {
 public:
  Gate(PandrelWin& link, HostPort& host) : link_(link), host_(host) {}

  void DoButton(std::int32_t code) override {
    if (link_.silenced_) return;
    const Counted call(link_.callsUnderWay_);
    host_.DoButton(code);
  }
  void Code(const char* text) override {
    if (link_.silenced_) return;
    const Counted call(link_.callsUnderWay_);
    host_.Code(text);
  }
  void SetDRO(int dro, double value) override {
    if (link_.silenced_) return;
    const Counted call(link_.callsUnderWay_);
    host_.SetDRO(dro, value);
  }
  void ShowStatus(const char* text) override {
    if (!link_.silenced_) host_.ShowStatus(text);
  }
  bool GetLED(int led) override {
    if (link_.silenced_) return false;
    const Counted question(link_.questionsUnderWay_);
    return host_.GetLED(led);
  }
  double GetDRO(int dro) override {
    if (link_.silenced_) return 0.0;
    const Counted question(link_.questionsUnderWay_);
    return host_.GetDRO(dro);
  }
  void HandlerDone() override { link_.HandlerDone(); }

 private:
  PandrelWin& link_;
  HostPort& host_;
};

PandrelWin::PandrelWin(LinkSite& site, HostPort& host, const PendantSettings& settings, HoldTicks& ticks,
                       LinkTrace trace, int reportsPerPoll)
    : hid_(site.Hid()),
      window_(site.Window()),
      idle_(site.Idle()),
      trace_(std::move(trace)),
      reportsPerPoll_(reportsPerPoll),
      gate_(std::make_unique<Gate>(*this, host)),
      control_(*gate_, settings, ticks) {}

// The system's idle timer may not stay held by a link that is gone.
PandrelWin::~PandrelWin() {
  if (keptAwake_) idle_.SetExecutionState(kContinuous);
}

void PandrelWin::Tell(const std::string& line) const {
  if (trace_) trace_(line);
}

bool PandrelWin::FindPendant() {
  hidClassGuid_ = hid_.HidClassGuid();
  // Always, so that a pendant plugged in later is heard of.
  window_.RegisterForDeviceNotifications(hidClassGuid_);
  if (Discover())
    Tell("pendant found at " + pendantPath_);
  else if (pendantPath_.empty())
    Tell("no pendant found; waiting for one to be plugged in");
  window_.StartPollTimer();
  return Connected();
}

std::optional<std::string> PandrelWin::FirstPendantPath() {
  std::optional<std::string> found;
  hid_.ForEachInterface(hidClassGuid_, [this, &found](const std::string& path) {
    if (IsPendant(hid_.QueryAttributes(path))) found = path;
    return found.has_value();
  });
  return found;
}

// The first pendant in enumeration order is taken, whether or not it opens.
bool PandrelWin::Discover() {
  if (const std::optional<std::string> path = FirstPendantPath()) {
    pendantPath_ = *path;
    Install(Open(pendantPath_));
  }
  return Connected();
}

PandrelWin::Handles PandrelWin::Open(const std::string& path) {
  Handles handles;
  handles.reader = hid_.OpenReader(path);
  if (handles.reader) handles.writer = hid_.OpenWriter(path);
  if (!handles.reader && !openFailureTold_) {
    openFailureTold_ = true;
    Tell("pendant " + path + " did not open: " + OpenFailureText(hid_.LastOpenFailure()));
  }
  return handles;
}

// Freshly opened handles start the failing count afresh.
void PandrelWin::Install(Handles handles) {
  reader_ = std::move(handles.reader);
  writer_ = std::move(handles.writer);
  if (!reader_) return;
  failingCycles_ = 0;
  openFailureTold_ = false;
}

// While a question to the host runs nothing acts: what comes waits for the
// handler that asked (see HandlerDone).
bool PandrelWin::Hold(HeldMessage message) {
  if (questionsUnderWay_ == 0) return false;
  held_.push_back(std::move(message));
  return true;
}

void PandrelWin::OnDeviceChange(unsigned event, const void* data) {
  if (stopped_) return;
  std::string name = event == kDeviceRemoveComplete ? BroadcastInterfaceName(data) : std::string();
  if (Hold({HeldMessage::Kind::DeviceChange, event, name})) return;
  DeviceChange(event, name);
}

void PandrelWin::DeviceChange(unsigned event, const std::string& removedName) {
  if (asleep_) return;  // the wake searches afresh
  if (event == kDeviceArrival)
    OnArrival();
  else if (event == kDeviceRemoveComplete)
    OnRemoval(removedName);
}

// Any HID arrival, the pendant's or another device's: the pendant's handles
// are opened afresh, or it is found again when it was away.
void PandrelWin::OnArrival() {
  if (!Connected()) {
    if (Discover()) CameBack();
    return;
  }
  // Everything the old read handle holds is taken and the handle closed
  // before the new one opens: no report is read from both.
  std::vector<InputReport> drained;
  const bool vanished = reader_->Drain(drained) == HidIo::Gone;
  taken_.insert(taken_.end(), drained.begin(), drained.end());
  Install({});
  Handles fresh = Open(pendantPath_);
  if (!fresh.reader) {
    if (const std::optional<std::string> path = FirstPendantPath()) {
      pendantPath_ = *path;
      fresh = Open(pendantPath_);
    }
  }
  if (fresh.reader && !vanished) {
    Install(std::move(fresh));
    ActOnReports(false, 0);
    return;
  }
  // The pendant had left unnoticed, or is nowhere now: a removal, after the
  // reports it had sent.
  Tell("pendant gone without notice");
  ActOnReports(false, 0);
  if (stopped_) return;
  StopForLostPendant();
  if (!fresh.reader || stopped_ || Connected()) return;
  Install(std::move(fresh));
  CameBack();
}

void PandrelWin::OnRemoval(const std::string& name) {
  if (name.empty() || !EqualIgnoringCase(name, pendantPath_)) return;
  if (Connected()) {
    Tell("pendant removed");
    LoseDevice();
  } else {
    lostToFailures_ = false;  // it left for good: only an arrival brings it back
  }
}

// Back after a gap (a removal, a vanish, a loss through failures or the
// sleep). What was pressed before the gap cannot be completed by a press
// after it: the presses under way are forgotten before the first report
// read after the gap is acted on, so the reports from before it (the one
// being acted on included) finish as they began. The last report read is
// from before the gap: it is not decoded again.
void PandrelWin::CameBack(bool afterReopen) {
  forgetBeforeNextReport_ = true;
  afterGap_ = true;
  reportRead_ = false;
  takenBeforeGap_ = taken_.size();
  lostToFailures_ = false;
  // A reopen of a pendant that keeps failing is told once it reads again.
  if (!afterReopen) Tell("pendant found again at " + pendantPath_);
}

// The pendant is gone, notified or not. Reports already taken were its own
// while it was there: they are still acted on, so a release among them is not lost.
void PandrelWin::LoseDevice() {
  Install({});
  StopForLostPendant();
}

// It stays enumerated but its reads keep failing. A pendant that failed from
// the moment it was found has sent nothing to stop for, so a pendant that
// keeps failing gives one E-stop and not one per try.
void PandrelWin::LoseThroughFailures() {
  Install({});
  lostToFailures_ = true;
  cyclesSinceLoss_ = 0;
  if (!lossTold_)
    Tell("pendant lost after " + std::to_string(kFailingCyclesToLoss) + " failing poll cycles; opening it again every " +
         std::to_string(kReopenEveryCycles) + " cycles");
  lossTold_ = true;
  if (reportRead_) StopForLostPendant();
}

void PandrelWin::StopForLostPendant() {
  control_.StopForLostPendant();
  HandlerDone();
}

bool PandrelWin::ReopenIfDue() {
  if (!lostToFailures_ || ++cyclesSinceLoss_ % kReopenEveryCycles != 0) return false;
  Install(Open(pendantPath_));
  if (!Connected() && !Discover()) return false;
  CameBack(true);
  return true;
}

// Acts, as one turn, on the reports taken from a replaced handle and then on
// those the driver holds (when readDriver), oldest first; the first driver
// read may wait. A timer message inside one of the host calls begins a turn
// of its own, which finishes the report being acted on first; this turn then
// ends where it is.
PandrelWin::Turn PandrelWin::ActOnReports(bool readDriver, unsigned firstWaitMs) {
  const Generation::Ticket turn = turns_.Next();
  control_.FinishReport();
  Turn result;
  unsigned waitMs = firstWaitMs;
  while (turns_.Current(turn) && !stopped_ && !asleep_) {
    if (forgetBeforeNextReport_ && takenBeforeGap_ == 0) {
      // Everything from before the gap is done (a newer turn may take over meanwhile).
      control_.FinishReport();
      if (!turns_.Current(turn) || stopped_) break;
      forgetBeforeNextReport_ = false;
      control_.ForgetPendingPresses();
    }
    InputReport report;
    bool fromBeforeGap = false;
    if (!taken_.empty()) {
      report = taken_.front();
      taken_.pop_front();
      if (takenBeforeGap_ > 0) {
        --takenBeforeGap_;
        fromBeforeGap = true;
      }
    } else {
      if (!readDriver || !Connected() || result.acted >= reportsPerPoll_) break;
      const HidIo io = reader_->Read(report, waitMs);
      waitMs = 0;
      if (io == HidIo::Gone) {
        Tell("pendant gone: " + CallFailureText(reader_->LastFailure()));
        LoseDevice();
        break;
      }
      result.failed = io == HidIo::Failed;
      if (io != HidIo::Done) break;
      failingCycles_ = 0;  // now, not when the turn ends: timer messages inside its calls come later
      if (lossTold_) Tell("pendant reads again");
      lossTold_ = readFailureTold_ = false;
    }
    // Taken from a replaced handle or from the driver, it was read from the pendant.
    if (!fromBeforeGap) {
      reportRead_ = true;
      afterGap_ = false;
    }
    ++result.acted;
    ActOn(report);
  }
  return result;
}

// A change of the buttons is the operator at work: Windows counts it as input.
void PandrelWin::ActOn(const InputReport& report) {
  lastReport_ = report;
  const std::uint32_t buttons = ButtonWord(report) & kButtonMask;
  if (buttons != lastButtons_) {
    lastButtons_ = buttons;
    idle_.SetExecutionState(kSystemRequired | kDisplayRequired);
  }
  control_.Act(DecodeButtons(report));
}

// Every timer message that reads is a poll cycle, also one inside a host
// call. Time-outs neither count nor break the count.
void PandrelWin::CountCycle(const Turn& turn) {
  if (!turn.failed || !reader_) return;
  if (!readFailureTold_) {
    readFailureTold_ = true;
    Tell("pendant reads fail: " + CallFailureText(reader_->LastFailure()));
  }
  if (++failingCycles_ >= kFailingCyclesToLoss) LoseThroughFailures();
}

void PandrelWin::OnTimer() {
  if (stopped_ || asleep_ || Hold({HeldMessage::Kind::Timer, 0, {}})) return;
  Timer(callsUnderWay_ > 0);
}

void PandrelWin::Timer(bool insideCall) {
  if (!Connected() && !ReopenIfDue()) {
    // The report being acted on, and those taken from a replaced handle, were
    // read while the pendant was there: a timer message inside a host call
    // still finishes them, so no jog let go outlives the link.
    if (insideCall) ActOnReports(false, 0);
    return;
  }
  const Turn turn = ActOnReports(true, kReadWaitMs);
  if (stopped_ || !Connected()) return;
  CountCycle(turn);
  if (!Connected()) return;
  // No new report: the last one acts again, so held buttons stay held, holds
  // are timed and arms expire, inside a host call too.
  if (turn.acted == 0 && !afterGap_) {
    control_.Act(DecodeButtons(lastReport_));
    if (stopped_ || !Connected()) return;
  }
  WriteOutputReport();
}

void PandrelWin::WriteOutputReport() {
  const PendantDisplay display = control_.Display();
  if (!stopped_ && writer_ && writer_->Write(EncodeOutputReport(display), kWriteBoundMs) == HidIo::Gone) {
    Tell("pendant gone: its output report was refused");
    LoseDevice();
  }
  HandlerDone();
}

// What waited for the handler that asked is acted on now, in order. Inside
// an outer host call a timer message is one inside it; at the top level it is
// no poll cycle of its own: the poll under way, or the next, reads its reports.
void PandrelWin::HandlerDone() {
  KeepAwakeWhileJogging();
  while (!held_.empty() && questionsUnderWay_ == 0 && !stopped_) {
    const HeldMessage message = std::move(held_.front());
    held_.pop_front();
    switch (message.kind) {
      case HeldMessage::Kind::Timer:
        if (callsUnderWay_ > 0 && !asleep_) Timer(true);
        break;
      case HeldMessage::Kind::DeviceChange: DeviceChange(message.event, message.name); break;
      case HeldMessage::Kind::Suspend: Suspend(); break;
      case HeldMessage::Kind::Resume: Resume(); break;
    }
  }
}

// A running jog keeps the computer from idle sleep, as an operator at its keyboard would.
void PandrelWin::KeepAwakeWhileJogging() {
  const bool jogging = control_.AnyJogging();
  if (jogging == keptAwake_) return;
  keptAwake_ = jogging;
  idle_.SetExecutionState(jogging ? kContinuous | kSystemRequired : kContinuous);
}

void PandrelWin::OnSuspend() {
  if (stopped_ || Hold({HeldMessage::Kind::Suspend, 0, {}})) return;
  Suspend();
}

// A machine must not move while the computer that steers it sleeps: the
// link is closed first, so nothing is read meanwhile; every jog ends; a
// pendant still counted connected gets the stop of a removal.
void PandrelWin::Suspend() {
  if (asleep_) return;
  const bool stopDue = Connected() && reportRead_;
  asleep_ = true;
  Install({});
  taken_.clear();
  takenBeforeGap_ = 0;
  lostToFailures_ = false;
  Tell("the computer goes to sleep: the pendant is closed");
  control_.EndRunningJogs(false);
  if (stopDue) StopForLostPendant();
  KeepAwakeWhileJogging();
}

void PandrelWin::OnResume() {
  if (stopped_ || Hold({HeldMessage::Kind::Resume, 0, {}})) return;
  Resume();
}

// No handle from before the sleep is trusted: the pendant is searched afresh,
// or found by its arrival.
void PandrelWin::Resume() {
  asleep_ = false;
  Install({});
  if (Discover())
    CameBack();
  else
    Tell("the computer woke: no pendant yet");
}

void PandrelWin::OnWindowLost() {
  if (stopped_) return;
  control_.EndRunningJogs(true);
  KeepAwakeWhileJogging();
}

void PandrelWin::Stop() {
  if (stopped_) return;
  stopped_ = true;
  held_.clear();
  control_.EndRunningJogs(false);
  silenced_ = true;
  KeepAwakeWhileJogging();
}

}  // namespace quenta
