// The pendant link, PandrelWin: discovery, hot-plug, sleep and wake, and the
// 25 ms poll cycle. It moves the pendant's reports between the HID stack and
// the control logic, and tells the control logic what happened to the link
// (a report, a removal, a loss); the control logic decides what the host is
// told. Its site's window routes WM_TIMER, WM_DEVICECHANGE and the power
// notices here; the simulator calls the handlers itself.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/control_logic.h"
#include "device/hid_system.h"
#include "device/link_site.h"
#include "device/reports.h"

namespace quenta {

constexpr unsigned kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr unsigned kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
constexpr std::uint32_t kDeviceTypeInterface = 5;   // DBT_DEVTYP_DEVICEINTERFACE
// A pendant whose reads fail in this many poll cycles since a report was last
// read or it was last opened, while it stays enumerated, is lost; it is
// opened again every so many cycles after that.
constexpr int kFailingCyclesToLoss = 8;
constexpr int kReopenEveryCycles = 40;

// One line for support, told once per event (never per poll).
using LinkTrace = std::function<void(const std::string& line)>;

// The link follows the rule of control/generation.h. It counts the host
// calls under way from it: a timer message that comes while one runs is a
// timer message inside a host call. While a question to the host runs,
// timer messages and device changes wait; they are acted on in order once
// the handler that asked is done.
class PandrelWin {
 public:
  // reportsPerPoll other than kReportsPerPollMax exists for the benchmark's
  // one-read-per-cycle comparison only.
  PandrelWin(LinkSite& site, HostPort& host, const PendantSettings& settings, HoldTicks& ticks, LinkTrace trace,
             int reportsPerPoll = kReportsPerPollMax);
  ~PandrelWin();
  PandrelWin(const PandrelWin&) = delete;
  PandrelWin& operator=(const PandrelWin&) = delete;

  // Discovery at start-up: registers for device notifications, opens the
  // first pendant if one is there, and starts the poll timer either way.
  bool FindPendant();
  // WM_DEVICECHANGE. data is the message's broadcast record (a device-interface
  // record for HID notifications) or null.
  void OnDeviceChange(unsigned event, const void* data);
  // WM_TIMER: one poll cycle.
  void OnTimer();
  // The computer goes to sleep: the link is lost, and no jog runs on.
  void OnSuspend();
  // The computer woke: the pendant is found afresh.
  void OnResume();
  // The window the poll ran under is gone: running jogs end, and a button
  // still held starts nothing until it is let go. Polling goes on.
  void OnWindowLost();
  // StopPlug, also from inside a host call: from now on timer messages and
  // device changes do nothing, every jog still running ends with its end
  // code, and then this link calls the host no more.
  void Stop();

  // The pendant's read handle is open: only then does a poll act.
  bool Connected() const { return reader_ != nullptr; }
  const std::string& PendantPath() const { return pendantPath_; }

 private:
  struct Handles {
    std::unique_ptr<HidReader> reader;  // null when the open failed
    std::unique_ptr<HidWriter> writer;
  };
  struct Turn {
    int acted = 0;
    bool failed = false;  // a read failed with the pendant still there
  };
  // What came while a question to the host ran.
  struct HeldMessage {
    enum class Kind { Timer, DeviceChange, Suspend, Resume } kind;
    unsigned event = 0;
    std::string name;  // a removal's interface name
  };
  class Gate;

  bool Hold(HeldMessage message);
  void DeviceChange(unsigned event, const std::string& removedName);
  void Timer(bool insideCall);
  void Suspend();
  void Resume();
  void OnArrival();
  void OnRemoval(const std::string& name);
  std::optional<std::string> FirstPendantPath();
  bool Discover();
  Handles Open(const std::string& path);
  void Install(Handles handles);
  void CameBack(bool afterReopen = false);
  void LoseDevice();
  void LoseThroughFailures();
  void StopForLostPendant();
  bool ReopenIfDue();
  void CountCycle(const Turn& turn);
  Turn ActOnReports(bool readDriver, unsigned firstWaitMs);
  void ActOn(const InputReport& report);
  void WriteOutputReport();
  void HandlerDone();
  void KeepAwakeWhileJogging();
  void Tell(const std::string& line) const;

  HidSystem& hid_;
  LinkWindow& window_;
  SystemIdle& idle_;
  LinkTrace trace_;
  const int reportsPerPoll_;
  std::unique_ptr<Gate> gate_;
  ControlLogic control_;
  HidGuid hidClassGuid_;
  std::string pendantPath_;
  std::unique_ptr<HidReader> reader_;
  std::unique_ptr<HidWriter> writer_;
  std::deque<InputReport> taken_;  // read from a handle being replaced, not yet acted on
  std::size_t takenBeforeGap_ = 0;  // how many of them, first in line, were read before the last gap
  InputReport lastReport_{};
  std::uint32_t lastButtons_ = 0;   // of the last report read, across gaps: the operator's presence
  std::deque<HeldMessage> held_;
  Generation turns_;  // acting on reports: a newer turn ends the one it interrupted
  int callsUnderWay_ = 0;   // host calls from this link that have not returned
  int questionsUnderWay_ = 0;
  bool stopped_ = false;
  bool silenced_ = false;
  bool asleep_ = false;
  bool afterGap_ = false;    // back after a gap, and no report read since
  bool forgetBeforeNextReport_ = false;  // back after a gap: the presses from before it go first
  bool reportRead_ = false;  // since the pendant was last found
  int failingCycles_ = 0;    // since a report was last read or the pendant last opened
  bool lostToFailures_ = false;
  int cyclesSinceLoss_ = 0;
  bool keptAwake_ = false;
  // What was told already: each is told again only once it was over.
  bool readFailureTold_ = false;  // until a report is read
  bool lossTold_ = false;         // lost through failures, until a report is read
  bool openFailureTold_ = false;  // until an open succeeds
};

// The interface name a removal record carries, when it is a device-interface
// record; empty otherwise. Reads no further than the record's own size field.
std::string BroadcastInterfaceName(const void* data);

}  // namespace quenta
