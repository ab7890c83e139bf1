#include "device/pandrel_win.h"

#include <cstring>

#include "plugin/module_state.h"

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

// Marks the link busy while one message is handled.
class PandrelWin::BusyScope {
 public:
  explicit BusyScope(PandrelWin& link) : link_(link) { link_.busy_ = true; }
  ~BusyScope() { link_.busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  PandrelWin& link_;
};

PandrelWin::PandrelWin(HidSystem& hid, LinkWindow& window, int reportsPerPoll)
    : hid_(hid), window_(window), reportsPerPoll_(reportsPerPoll) {}

PandrelWin::~PandrelWin() { CloseHandles(); }

bool PandrelWin::FindPendant() {
  hidClassGuid_ = hid_.HidClassGuid();
  // Always, so that a pendant plugged in later is heard of.
  window_.RegisterForDeviceNotifications(hidClassGuid_);
  Discover();
  window_.StartPollTimer();
  return Connected();
}

// The first pendant in enumeration order is taken, whether or not it opens.
bool PandrelWin::Discover() {
  bool found = false;
  hid_.ForEachInterface(hidClassGuid_, [this, &found](const std::string& path) {
    found = IsPendant(hid_.QueryAttributes(path));
    if (found) pendantPath_ = path;
    return found;
  });
  return found && OpenHandles();
}

bool PandrelWin::OnDeviceChange(unsigned event, const void* data) {
  if (halted_ || (event != kDeviceArrival && event != kDeviceRemoveComplete)) return true;
  // The record lives only as long as this message: keep the name, not the pointer.
  DeviceChange change{event, event == kDeviceRemoveComplete ? BroadcastInterfaceName(data) : std::string()};
  if (busy_) {
    deferred_.push_back(std::move(change));
    return true;
  }
  BusyScope busy(*this);
  HandleDeviceChange(change);
  HandleDeferred();
  return true;
}

void PandrelWin::HandleDeviceChange(const DeviceChange& change) {
  if (change.event == kDeviceArrival)
    OnArrival();
  else
    OnRemoval(change.name);
}

// Device changes that came in while a message was handled, in order; any
// that come in meanwhile join the end.
void PandrelWin::HandleDeferred() {
  while (!deferred_.empty() && !halted_) {
    const DeviceChange change = deferred_.front();
    deferred_.erase(deferred_.begin());
    HandleDeviceChange(change);
  }
}

// Any HID arrival, the pendant's or another device's: the pendant's handles
// are opened afresh, or found again when it was away.
void PandrelWin::OnArrival() {
  if (Connected()) {
    // Reports the old handle's queue holds would die with it: act on them first.
    ActOnReports(0, kReportsPerPollMax);
    if (Connected()) {
      CloseHandles();
      if (OpenHandles() || Discover()) return;
      LoseDevice();
      return;
    }
  }
  Discover();
}

void PandrelWin::OnRemoval(const std::string& name) {
  if (Connected() && !name.empty() && EqualIgnoringCase(name, pendantPath_)) LoseDevice();
}

bool PandrelWin::OpenHandles() {
  // An arrival while open replaces the handles: the old ones go first, with
  // their outstanding read ended, so repeated arrivals leak nothing.
  CloseHandles();
  readHandle_ = hid_.OpenReader(pendantPath_);
  if (!readHandle_) return false;
  writeHandle_ = hid_.OpenWriter(pendantPath_);
  return true;
}

void PandrelWin::CloseHandles() {
  readHandle_.reset();
  writeHandle_.reset();
}

// The pendant is gone, notified or not. Code 1021 toggles the host's E-stop:
// sent only while LED 800 is off, so a machine already stopped stays stopped.
void PandrelWin::LoseDevice() {
  CloseHandles();
  if (halted_) return;
  if (!Host.GetLED(800)) Host.DoButton(1021);
}

// Runs the control logic once per queued report, oldest first; the first read
// may wait. Returns how many were acted on.
int PandrelWin::ActOnReports(unsigned firstWaitMs, int limit) {
  int acted = 0;
  unsigned waitMs = firstWaitMs;
  while (acted < limit && !halted_ && Connected()) {
    InputReport report;
    const HidIo result = readHandle_->Read(report, waitMs);
    if (result == HidIo::Gone) {
      LoseDevice();
      break;
    }
    if (result != HidIo::Done) break;
    lastReport_ = report;
    control_.RunPoll(DecodeButtons(report));
    ++acted;
    waitMs = 0;
  }
  return acted;
}

void PandrelWin::OnTimer() {
  // A host callback that pumps messages may deliver the next timer while this
  // poll runs: that one is skipped, so no edge is acted on twice.
  if (!Connected() || busy_ || halted_) return;
  BusyScope busy(*this);
  // No new report: the last one is decoded again, so held buttons stay held.
  if (ActOnReports(kReadWaitMs, reportsPerPoll_) == 0 && Connected() && !halted_)
    control_.RunPoll(DecodeButtons(lastReport_));
  if (Connected() && !halted_) WriteOutputReport();
  HandleDeferred();
}

void PandrelWin::WriteOutputReport() {
  PendantLeds leds;
  leds.led800 = Host.GetLED(800);
  leds.led804 = Host.GetLED(804);
  leds.led805 = Host.GetLED(805);
  const OutputReport report = EncodeOutputReport(leds, control_.JogIndicator());
  if (writeHandle_ && writeHandle_->Write(report, kWriteBoundMs) == HidIo::Gone) LoseDevice();
}

}  // namespace quenta
