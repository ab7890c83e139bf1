// A virtual HID stack with pendants and other devices, for the unit tests,
// the simulator and the benchmarks. It models the driver as the plug-in meets
// it: each read handle has its own input queue of at most 32 reports (oldest
// dropped), a read left outstanding takes the next report that arrives, and
// the handles of a device that left fail as a removed device's, and a device
// can fail while it stays present.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_system.h"
#include "device/link_site.h"

namespace quenta {

struct VirtualDevice {
  std::string path;
  HidAttributes attributes;
  bool present = true;
  bool failing = false;  // present, but every read and write fails
};

class VirtualReader;
class VirtualWriter;

class VirtualHidSystem : public HidSystem {
 public:
  VirtualHidSystem() = default;
  ~VirtualHidSystem() override;
  VirtualHidSystem(const VirtualHidSystem&) = delete;
  VirtualHidSystem& operator=(const VirtualHidSystem&) = delete;

  // Adds a pendant with path "\\?\hid#vid_04d8&pid_fceb#<n>" (n counts pendants from 1).
  VirtualDevice& AddPendant();
  VirtualDevice& AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId);
  VirtualDevice* Find(const std::string& path);
  const std::vector<VirtualDevice>& Devices() const { return devices_; }  // in enumeration order

  // The device at `path` sends `count` input reports: every read handle open
  // on it queues them. Nothing reaches a device that is not present.
  void Send(const std::string& path, const InputReport& report, int count = 1);
  // The device leaves: its queues are emptied and its open handles fail as a
  // removed device's from now on. Back: the path opens again (old handles stay dead).
  void Unplug(const std::string& path);
  void Replug(const std::string& path);
  // Failing: the device stays present while every read and write on its
  // handles fails and what it sends is lost; starting to fail loses what the
  // handles held. Not failing: they work again, old handles and new.
  void SetFailing(const std::string& path, bool failing);
  // The computer woke: every driver queue is empty and a read left waiting
  // took nothing. With staleHandles the handles open now hang from now on
  // (reads never complete, writes time out); handles opened later work.
  void ResetAfterSleep(bool staleHandles);

  HidGuid HidClassGuid() override;
  void ForEachInterface(const HidGuid& classGuid, const std::function<bool(const std::string&)>& visit) override;
  std::optional<HidAttributes> QueryAttributes(const std::string& path) override;
  std::unique_ptr<HidReader> OpenReader(const std::string& path) override;
  std::unique_ptr<HidWriter> OpenWriter(const std::string& path) override;
  HidOpenFailure LastOpenFailure() const override { return lastOpenFailure_; }

  bool failOpens = false;
  HidOpenError failOpensWith = HidOpenError::InUse;  // the reason a failed open of a present device gives
  std::vector<OutputReport> written;
  std::function<void(const InputReport&)> onRead;  // sees every report a read or a drain takes
  int openHandles = 0;  // live reader and writer handles
  int attributeQueries = 0;
  int reads = 0;        // read calls of the plug-in

 private:
  friend class VirtualReader;
  friend class VirtualWriter;
  bool MayOpen(const std::string& path);

  std::vector<VirtualDevice> devices_;  // in enumeration order
  std::vector<VirtualReader*> readers_;
  std::vector<VirtualWriter*> writers_;
  int pendants_ = 0;
  HidOpenFailure lastOpenFailure_;
};

// What a link asked of its window and of Windows, as a virtual site saw it.
struct SiteRecord {
  int timerStarts = 0;
  bool registered = false;  // for HID device notifications
  bool keptAwake = false;   // the last continuous request keeps the system from idle sleep
  bool touched = false;     // the idle timers were reset (cleared by whoever reads it)
};

// A link's site in the tests and the simulator: the virtual HID stack, and
// a window and idle timers that only record.
class VirtualLinkSite : public LinkSite, LinkWindow, SystemIdle {
 public:
  VirtualLinkSite(VirtualHidSystem& hid, SiteRecord& record) : hid_(hid), record_(record) {}

  HidSystem& Hid() override { return hid_; }
  LinkWindow& Window() override { return *this; }
  SystemIdle& Idle() override { return *this; }
  void Attach(PandrelWin&) override {}

 private:
  void StartPollTimer() override { ++record_.timerStarts; }
  void RegisterForDeviceNotifications(const HidGuid&) override { record_.registered = true; }
  void SetExecutionState(std::uint32_t flags) override;

  VirtualHidSystem& hid_;
  SiteRecord& record_;
};

// The record a WM_DEVICECHANGE for a device interface carries (size, type 5,
// reserved, class GUID, then the interface name at byte 28).
std::vector<unsigned char> DeviceInterfaceBroadcast(const std::string& path);

}  // namespace quenta
