// The pendant link: discovery, hot-plug and the 25 ms poll cycle. It lives in
// the plug-in's hidden child window; the Win32 window routes WM_TIMER and
// WM_DEVICECHANGE here, the simulator calls the handlers itself.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
// The HID driver's input queue per read handle.
constexpr int kDriverQueueReports = 32;
// The most reports a poll can find: a full queue and one more that completed
// an outstanding read directly. A poll takes them all.
constexpr int kReportsPerPollMax = kDriverQueueReports + 1;

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
  // The plug-in is being stopped from inside a host call of this link: the
  // running poll makes no further host calls.
  void Halt() { halted_ = true; }

  // The pendant's read handle is open: only then does a poll act.
  bool Connected() const { return readHandle_ != nullptr; }
  const std::string& PendantPath() const { return pendantPath_; }
  bool WriteHandleOpen() const { return writeHandle_ != nullptr; }
  ControlLogic& Control() { return control_; }

 private:
  struct DeviceChange {
    unsigned event;
    std::string name;  // the interface a removal names
  };
  class BusyScope;

  void HandleDeviceChange(const DeviceChange& change);
  void HandleDeferred();
  void OnArrival();
  void OnRemoval(const std::string& name);
  bool Discover();
  bool OpenHandles();
  void CloseHandles();
  void LoseDevice();
  int ActOnReports(unsigned firstWaitMs, int limit);
  void WriteOutputReport();

  HidSystem& hid_;
  LinkWindow& window_;
  const int reportsPerPoll_;
  HidGuid hidClassGuid_;
  std::string pendantPath_;
  std::unique_ptr<HidReader> readHandle_;
  std::unique_ptr<HidWriter> writeHandle_;
  InputReport lastReport_{};
  ControlLogic control_;
  // A poll or a device change runs; host callbacks that pump messages may
  // deliver more of them, which wait (device changes) or are skipped (timers).
  bool busy_ = false;
  bool halted_ = false;
  std::vector<DeviceChange> deferred_;
};

// The interface name a removal record carries, when it is a device-interface
// record; empty otherwise. Reads no further than the record's own size field.
std::string BroadcastInterfaceName(const void* data);

}  // namespace quenta
