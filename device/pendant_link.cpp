#include "device/pendant_link.h"

#include <cstring>

#include "control/host_calls.h"

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

// Sets a flag for a scope and puts it back after.
class FlagScope {
 public:
  FlagScope(bool& flag, bool value) : flag_(flag), before_(flag) { flag_ = value; }
  ~FlagScope() { flag_ = before_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
  bool before_;
};

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

// Counts the link's messages under way, so that deletion waits for them.
class PandrelWin::MessageScope {
 public:
  explicit MessageScope(PandrelWin& link) : link_(link) { ++link_.depth_; }
  ~MessageScope() { --link_.depth_; }
  MessageScope(const MessageScope&) = delete;
  MessageScope& operator=(const MessageScope&) = delete;

 private:
  PandrelWin& link_;
};

// A new link speaks again, also after a StopPlug that a second InitControl follows.
PandrelWin::PandrelWin(HidSystem& hid, LinkWindow& window, int reportsPerPoll)
    : hid_(hid), window_(window), reportsPerPoll_(reportsPerPoll) {
  HostSilenced = false;
}

PandrelWin::~PandrelWin() = default;

bool PandrelWin::FindPendant() {
  hidClassGuid_ = hid_.HidClassGuid();
  // Always, so that a pendant plugged in later is heard of.
  window_.RegisterForDeviceNotifications(hidClassGuid_);
  Discover();
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
  return handles;
}

void PandrelWin::Install(Handles handles) {
  reader_ = std::move(handles.reader);
  writer_ = std::move(handles.writer);
}

bool PandrelWin::OnDeviceChange(unsigned event, const void* data) {
  if (stopped_) return true;
  MessageScope scope(*this);
  if (event == kDeviceArrival)
    OnArrival();
  else if (event == kDeviceRemoveComplete)
    OnRemoval(BroadcastInterfaceName(data));
  return true;
}

// Any HID arrival, the pendant's or another device's: the pendant's handles
// are opened afresh, or it is found again when it was away.
void PandrelWin::OnArrival() {
  if (!Connected()) {
    if (Discover()) CameBack();
    return;
  }
  // The new handles first, then everything the old read handle holds, then it
  // closes: a report that comes meanwhile is read twice at worst, never lost.
  Handles fresh = Open(pendantPath_);
  if (!fresh.reader) {
    if (const std::optional<std::string> path = FirstPendantPath()) {
      pendantPath_ = *path;
      fresh = Open(pendantPath_);
    }
  }
  std::vector<InputReport> held;
  const bool vanished = reader_->Drain(held) == HidIo::Gone;
  taken_.insert(taken_.end(), held.begin(), held.end());
  failingCycles_ = 0;
  if (fresh.reader && !vanished) {
    Install(std::move(fresh));
    ActOnReports(false, 0);
    return;
  }
  // The pendant had left unnoticed, or is nowhere now: a removal, after the
  // reports it had sent.
  Install({});
  ActOnReports(false, 0);
  if (stopped_) return;
  SendRemovalStop();
  if (!fresh.reader) return;
  Install(std::move(fresh));
  CameBack();
}

void PandrelWin::OnRemoval(const std::string& name) {
  if (name.empty() || !EqualIgnoringCase(name, pendantPath_)) return;
  if (Connected())
    LoseDevice();
  else
    lostToFailures_ = false;  // it left for good: only an arrival brings it back
}

// Back after a gap (a removal, a vanish or a loss through failures). What
// was pressed before the gap cannot be completed by a press after it, and
// the last report read is from before the gap: it is not decoded again.
void PandrelWin::CameBack() {
  control_.ForgetPendingPresses();
  afterGap_ = true;
  reportRead_ = false;
  takenBeforeGap_ = taken_.size();
  failingCycles_ = 0;
  lostToFailures_ = false;
}

// The pendant is gone, notified or not. Reports already taken were its own
// while it was there: they are still acted on, so a release among them is not lost.
void PandrelWin::LoseDevice() {
  Install({});
  SendRemovalStop();
}

// It stays enumerated but its reads keep failing. A pendant that failed from
// the moment it was found has sent nothing to stop for, so a pendant that
// keeps failing gives one E-stop and not one per try.
void PandrelWin::LoseThroughFailures() {
  Install({});
  lostToFailures_ = true;
  cyclesSinceLoss_ = 0;
  if (reportRead_) SendRemovalStop();
}

// Code 1021 toggles the host's E-stop: sent only while LED 800 is off, so a
// machine already stopped stays stopped.
void PandrelWin::SendRemovalStop() {
  if (!LedLit(800)) SendButton(1021);
}

bool PandrelWin::ReopenIfDue() {
  if (!lostToFailures_ || ++cyclesSinceLoss_ % kReopenEveryCycles != 0) return false;
  Install(Open(pendantPath_));
  if (!Connected() && !Discover()) return false;
  CameBack();
  return true;
}

// Acts, as one turn, on the reports taken from a replaced handle and then on
// those the driver holds (when readDriver), oldest first; the first driver
// read may wait. A timer message inside one of the host calls begins a turn
// of its own, which finishes the report being acted on first; this turn then
// ends where it is.
PandrelWin::Turn PandrelWin::ActOnReports(bool readDriver, unsigned firstWaitMs) {
  const unsigned turn = ++turns_;
  control_.FinishReport();
  Turn result;
  unsigned waitMs = firstWaitMs;
  while (turns_ == turn && !stopped_) {
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
        LoseDevice();
        break;
      }
      result.failed = io == HidIo::Failed;
      if (io != HidIo::Done) break;
      failingCycles_ = 0;  // now, not when the turn ends: timer messages inside its calls come later
    }
    // Taken from a replaced handle or from the driver, it was read from the pendant.
    if (!fromBeforeGap) {
      reportRead_ = true;
      afterGap_ = false;
    }
    lastReport_ = report;
    ++result.acted;
    control_.Act(DecodeButtons(report));
  }
  return result;
}

// A timer message is a poll cycle, also one that comes inside a host call.
// Only one that comes while the previous buttons act again after this
// cycle's failed read (as a host that pumps at every DoButton delivers) is
// not: it neither adds to the failing count nor breaks it.
void PandrelWin::CountCycle(const Turn& turn, bool insideCall) {
  if (insideCall && insideFailedCycle_) return;
  if (!turn.failed) {
    if (turn.acted == 0) failingCycles_ = 0;  // a time-out is no failure
    return;
  }
  if (++failingCycles_ >= kFailingCyclesToLoss) LoseThroughFailures();
}

void PandrelWin::OnTimer() {
  if (stopped_) return;
  const bool insideCall = depth_ > 0;
  MessageScope scope(*this);
  if (!Connected() && !ReopenIfDue()) {
    // The report being acted on, and those taken from a replaced handle, were
    // read while the pendant was there: a timer message inside a host call
    // still finishes them, so no jog let go outlives the link.
    if (insideCall) ActOnReports(false, 0);
    return;
  }
  const Turn turn = ActOnReports(true, kReadWaitMs);
  if (stopped_ || !Connected()) return;
  CountCycle(turn, insideCall);
  if (!Connected()) return;
  // No new report: the last one acts again, so held buttons stay held and
  // holds are timed. Inside a host call nothing acts again.
  if (!insideCall && turn.acted == 0 && !afterGap_) {
    const FlagScope failedCycle(insideFailedCycle_, turn.failed);
    control_.Act(DecodeButtons(lastReport_));
    if (stopped_ || !Connected()) return;
  }
  WriteOutputReport();
}

void PandrelWin::Stop() {
  if (stopped_) return;
  stopped_ = true;
  control_.EndRunningJogs();
  HostSilenced = true;
}

void PandrelWin::WriteOutputReport() {
  PendantLeds leds;
  leds.led800 = LedLit(800);
  leds.led804 = LedLit(804);
  leds.led805 = LedLit(805);
  if (stopped_ || !writer_) return;
  const OutputReport report = EncodeOutputReport(leds, control_.JogIndicator());
  if (writer_->Write(report, kWriteBoundMs) == HidIo::Gone) LoseDevice();
}

}  // namespace quenta
