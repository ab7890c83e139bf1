// The pendant link, PandrelWin: discovery, hot-plug and the 25 ms poll cycle.
// It lives in the plug-in's hidden child window; the Win32 window routes
// WM_TIMER and WM_DEVICECHANGE here, the simulator calls the handlers itself.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "control/control_logic.h"
#include "device/hid_system.h"
#include "device/reports.h"

namespace quenta {

constexpr std::uint16_t kPendantVendorId = 0x04D8;
constexpr std::uint16_t kPendantProductId = 0xFCEB;
// The first HID interface in enumeration order that carries this identity is the pendant.
inline bool IsPendant(const std::optional<HidAttributes>& attributes) {
  return attributes && attributes->vendorId == kPendantVendorId && attributes->productId == kPendantProductId;
}
constexpr unsigned kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr unsigned kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
constexpr std::uint32_t kDeviceTypeInterface = 5;   // DBT_DEVTYP_DEVICEINTERFACE
constexpr unsigned kReadWaitMs = 5;
constexpr unsigned kWriteBoundMs = 20;
// The most reports a poll can find: a full queue and one more that completed
// an outstanding read directly. A poll takes them all.
constexpr int kReportsPerPollMax = kDriverQueueReports + 1;
// A pendant whose reads fail this many poll cycles in a row, while it stays
// enumerated, is lost; it is opened again every so many cycles after that.
constexpr int kFailingCyclesToLoss = 8;
constexpr int kReopenEveryCycles = 40;

// The link acts on every report exactly once, in the order the reports came,
// whatever the host does in between: a timer message that comes while a host
// call of the plug-in runs a message loop finishes the report being acted on
// and acts on the newer ones at once (see ControlLogic), and device changes
// are handled the moment they come.
class PandrelWin {
 public:
  // reportsPerPoll other than kReportsPerPollMax exists for the benchmark's
  // one-read-per-cycle comparison only.
  PandrelWin(HidSystem& hid, LinkWindow& window, int reportsPerPoll = kReportsPerPollMax);
  ~PandrelWin();
  PandrelWin(const PandrelWin&) = delete;
  PandrelWin& operator=(const PandrelWin&) = delete;

  // Discovery at start-up: registers for device notifications, opens the
  // first pendant if one is there, and starts the poll timer either way.
  bool FindPendant();
  // WM_DEVICECHANGE. data is the message's broadcast record (a device-interface
  // record for HID notifications) or null.
  bool OnDeviceChange(unsigned event, const void* data);
  // WM_TIMER: one poll cycle.
  void OnTimer();
  // StopPlug, also from inside a host call: from now on timer messages and
  // device changes do nothing, every jog still running ends with its end
  // code, and then the plug-in calls the host no more.
  void Stop();
  // One of this link's messages is being handled: the object must outlive it.
  bool InUse() const { return depth_ > 0; }

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
  class MessageScope;

  void OnArrival();
  void OnRemoval(const std::string& name);
  std::optional<std::string> FirstPendantPath();
  bool Discover();
  Handles Open(const std::string& path);
  void Install(Handles handles);
  void CameBack();
  void LoseDevice();
  void LoseThroughFailures();
  void SendRemovalStop();
  bool ReopenIfDue();
  void CountCycle(const Turn& turn, bool insideCall);
  Turn ActOnReports(bool readDriver, unsigned firstWaitMs);
  void WriteOutputReport();

  HidSystem& hid_;
  LinkWindow& window_;
  const int reportsPerPoll_;
  HidGuid hidClassGuid_;
  std::string pendantPath_;
  std::unique_ptr<HidReader> reader_;
  std::unique_ptr<HidWriter> writer_;
  std::deque<InputReport> taken_;  // read from a handle being replaced, not yet acted on
  std::size_t takenBeforeGap_ = 0;  // how many of them, first in line, were read before the last gap
  InputReport lastReport_{};
  ControlLogic control_;
  int depth_ = 0;         // this link's messages under way (nested when a host call pumps)
  unsigned turns_ = 0;    // turns of acting on reports: a newer one ends the one it interrupted
  bool stopped_ = false;
  bool afterGap_ = false;    // back after a gap, and no report read since
  bool reportRead_ = false;  // since the pendant was last found
  int failingCycles_ = 0;    // in a row
  bool insideFailedCycle_ = false;  // the previous buttons act again after this cycle's read failed
  bool lostToFailures_ = false;
  int cyclesSinceLoss_ = 0;
};

// The interface name a removal record carries, when it is a device-interface
// record; empty otherwise. Reads no further than the record's own size field.
std::string BroadcastInterfaceName(const void* data);

}  // namespace quenta
