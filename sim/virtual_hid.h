// A virtual HID stack with pendants and other devices, for the unit tests,
// the simulator and the benchmarks.
#pragma once

#include <string>
#include <vector>

#include "device/hid_system.h"

namespace quenta {

struct VirtualDevice {
  std::string path;
  HidAttributes attributes;
  bool present = true;
};

class VirtualHidSystem : public HidSystem {
 public:
  // Adds a pendant with path "\\?\hid#vid_04d8&pid_fceb#<n>" (n counts pendants from 1).
  VirtualDevice& AddPendant();
  VirtualDevice& AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId);
  VirtualDevice* Find(const std::string& path);

  HidGuid HidClassGuid() override;
  void ForEachInterface(const HidGuid& classGuid, const std::function<bool(const std::string&)>& visit) override;
  std::optional<HidAttributes> QueryAttributes(const std::string& path) override;
  std::unique_ptr<HidReader> OpenReader(const std::string& path) override;
  std::unique_ptr<HidWriter> OpenWriter(const std::string& path) override;

  std::vector<VirtualDevice> devices;  // in enumeration order
  InputReport report{};                // what every pendant reports now
  int stalledReads = 0;                // reads that get nothing within the wait
  int lateReads = 0;                   // reads whose report arrives only by the next read
  bool failOpens = false;
  std::vector<OutputReport> written;
  int openHandles = 0;    // live reader and writer handles
  int attributeQueries = 0;
  int readWaits = 0;      // reads that waited for a report

 private:
  friend class VirtualReader;
  friend class VirtualWriter;
  int pendants_ = 0;
};

class VirtualLinkWindow : public LinkWindow {
 public:
  void StartPollTimer() override { ++timerStarts; }
  void RegisterForDeviceNotifications(const HidGuid&) override { registered = true; }

  int timerStarts = 0;
  bool registered = false;
};

// The record a WM_DEVICECHANGE for a device interface carries (size, type 5,
// reserved, class GUID, then the interface name at byte 28).
std::vector<unsigned char> DeviceInterfaceBroadcast(const std::string& path);

}  // namespace quenta
