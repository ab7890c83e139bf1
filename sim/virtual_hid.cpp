#include "sim/virtual_hid.h"

#include <cstring>

#include "device/pandrel_win.h"

namespace quenta {

class VirtualReader : public HidReader {
 public:
  VirtualReader(VirtualHidSystem& system, std::string path) : system_(system), path_(std::move(path)) {
    ++system_.openHandles;
  }
  ~VirtualReader() override { --system_.openHandles; }

  bool Read(InputReport& out, unsigned) override {
    ++system_.readWaits;
    const VirtualDevice* device = system_.Find(path_);
    if (device == nullptr || !device->present) return false;
    if (pendingLate_) {
      pendingLate_ = false;
      out = lateReport_;
      return true;
    }
    if (system_.stalledReads > 0) {
      --system_.stalledReads;
      return false;
    }
    if (system_.lateReads > 0) {
      --system_.lateReads;
      pendingLate_ = true;
      lateReport_ = system_.report;
      return false;
    }
    out = system_.report;
    return true;
  }

 private:
  VirtualHidSystem& system_;
  std::string path_;
  bool pendingLate_ = false;
  InputReport lateReport_{};
};

class VirtualWriter : public HidWriter {
 public:
  VirtualWriter(VirtualHidSystem& system, std::string path) : system_(system), path_(std::move(path)) {
    ++system_.openHandles;
  }
  ~VirtualWriter() override { --system_.openHandles; }

  void Write(const OutputReport& report, unsigned) override {
    const VirtualDevice* device = system_.Find(path_);
    if (device != nullptr && device->present) system_.written.push_back(report);
  }

 private:
  VirtualHidSystem& system_;
  std::string path_;
};

VirtualDevice& VirtualHidSystem::AddPendant() {
  ++pendants_;
  devices.push_back({"\\\\?\\hid#vid_04d8&pid_fceb#" + std::to_string(pendants_), {kPendantVendorId, kPendantProductId}});
  return devices.back();
}

VirtualDevice& VirtualHidSystem::AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId) {
  char path[64];
  std::snprintf(path, sizeof path, "\\\\?\\hid#vid_%04x&pid_%04x#%zu", vendorId, productId, devices.size() + 1);
  devices.push_back({path, {vendorId, productId}});
  return devices.back();
}

VirtualDevice* VirtualHidSystem::Find(const std::string& path) {
  for (VirtualDevice& device : devices)
    if (device.path == path) return &device;
  return nullptr;
}

HidGuid VirtualHidSystem::HidClassGuid() {
  // {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID interface class.
  return HidGuid{{0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11, 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

void VirtualHidSystem::ForEachInterface(const HidGuid&, const std::function<bool(const std::string&)>& visit) {
  for (const VirtualDevice& device : devices) {
    if (!device.present) continue;
    if (visit(device.path)) return;
  }
}

std::optional<HidAttributes> VirtualHidSystem::QueryAttributes(const std::string& path) {
  ++attributeQueries;
  const VirtualDevice* device = Find(path);
  if (device == nullptr || !device->present) return std::nullopt;
  return device->attributes;
}

std::unique_ptr<HidReader> VirtualHidSystem::OpenReader(const std::string& path) {
  const VirtualDevice* device = Find(path);
  if (failOpens || device == nullptr || !device->present) return nullptr;
  return std::make_unique<VirtualReader>(*this, path);
}

std::unique_ptr<HidWriter> VirtualHidSystem::OpenWriter(const std::string& path) {
  const VirtualDevice* device = Find(path);
  if (failOpens || device == nullptr || !device->present) return nullptr;
  return std::make_unique<VirtualWriter>(*this, path);
}

std::vector<unsigned char> DeviceInterfaceBroadcast(const std::string& path) {
  std::vector<unsigned char> record(28 + path.size() + 1, 0);
  const std::uint32_t size = static_cast<std::uint32_t>(record.size());
  const std::uint32_t type = kDeviceTypeInterface;
  std::memcpy(record.data(), &size, 4);
  std::memcpy(record.data() + 4, &type, 4);
  std::memcpy(record.data() + 28, path.c_str(), path.size() + 1);
  return record;
}

}  // namespace quenta
