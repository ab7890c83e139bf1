// The pendant link: discovery, hot-plug and the 25 ms poll cycle. It lives in
// the plug-in's hidden child window; the Win32 window routes WM_TIMER and
// WM_DEVICECHANGE here, the simulator calls the handlers itself.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "control/control_logic.h"
#include "device/hid_system.h"
#include "device/reports.h"

namespace quenta {

constexpr std::uint16_t kPendantVendorId = 0x04D8;
constexpr std::uint16_t kPendantProductId = 0xFCEB;
constexpr unsigned kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr unsigned kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
constexpr std::uint32_t kDeviceTypeInterface = 5;   // DBT_DEVTYP_DEVICEINTERFACE
constexpr unsigned kReadWaitMs = 5;
constexpr unsigned kWriteBoundMs = 20;

class PandrelWin {
 public:
  PandrelWin(HidSystem& hid, LinkWindow& window);
  ~PandrelWin();
  PandrelWin(const PandrelWin&) = delete;
  PandrelWin& operator=(const PandrelWin&) = delete;

  // Discovery, once at start-up. Starts the poll timer whether or not the pendant is found.
  bool FindPendant();
  // WM_DEVICECHANGE. data is the message's broadcast record (a device-interface
  // record for HID notifications) or null.
  bool OnDeviceChange(unsigned event, const void* data);
  // WM_TIMER: one poll cycle.
  void OnTimer();

  bool Connected() const { return connected_; }
  const std::string& PendantPath() const { return pendantPath_; }
  bool ReadHandleOpen() const { return readHandle_ != nullptr; }
  bool WriteHandleOpen() const { return writeHandle_ != nullptr; }
  ControlLogic& Control() { return control_; }

 private:
  void OpenHandles();
  void CloseHandles();

  HidSystem& hid_;
  LinkWindow& window_;
  HidGuid hidClassGuid_;
  std::string pendantPath_;
  bool connected_ = false;
  std::unique_ptr<HidReader> readHandle_;
  std::unique_ptr<HidWriter> writeHandle_;
  InputReport inputReport_{};
  InputReport previousReport_{};
  OutputReport outputReport_{};
  ControlLogic control_;
};

// The interface name a removal record carries, when it is a device-interface
// record; empty otherwise. Reads no further than the record's own size field.
std::string BroadcastInterfaceName(const void* data);

}  // namespace quenta
