#include "sim/virtual_hid.h"

#include <algorithm>
#include <cstring>

#include "device/pendant_link.h"
#include "device/pendant_identity.h"

namespace quenta {

class VirtualReader : public HidReader {
 public:
  VirtualReader(VirtualHidSystem& system, std::string path) : system_(system), path_(std::move(path)) {
    ++system_.openHandles;
    system_.readers_.push_back(this);
  }
  ~VirtualReader() override {
    --system_.openHandles;
    system_.readers_.erase(std::find(system_.readers_.begin(), system_.readers_.end(), this));
  }

  HidIo Read(InputReport& out, unsigned) override {
    ++system_.reads;
    if (Failing()) return HidIo::Failed;
    if (completed_) {
      out = *completed_;
      completed_.reset();
      return Taken(out);
    }
    if (dead_) return HidIo::Gone;
    if (stale_) return HidIo::NotNow;
    if (queue_.empty()) {
      outstanding_ = true;
      return HidIo::NotNow;
    }
    out = queue_.front();
    queue_.pop_front();
    return Taken(out);
  }

  HidIo Drain(std::vector<InputReport>& reports) override {
    if (Failing()) return HidIo::Done;
    if (completed_) queue_.push_front(*completed_);
    completed_.reset();
    outstanding_ = false;
    for (const InputReport& report : queue_) {
      reports.push_back(report);
      Taken(report);
    }
    queue_.clear();
    return dead_ ? HidIo::Gone : HidIo::Done;
  }

  HidCallFailure LastFailure() const override {
    return dead_ ? HidCallFailure{"ReadFile", 1167} : HidCallFailure{"ReadFile", 31};
  }

  const std::string& Path() const { return path_; }

  void Queue(const InputReport& report) {
    if (dead_ || Failing() || stale_) return;
    if (outstanding_) {
      outstanding_ = false;
      completed_ = report;
      return;
    }
    queue_.push_back(report);
    if (queue_.size() > static_cast<std::size_t>(kDriverQueueReports)) queue_.pop_front();
  }

  // A read that completed before the device left stays delivered; one still outstanding fails.
  void Kill() {
    dead_ = true;
    outstanding_ = false;
    queue_.clear();
  }
  // A device that starts failing, or is reset, loses what its handles held,
  // and the report a waiting read took.
  void Lose() {
    outstanding_ = false;
    completed_.reset();
    queue_.clear();
  }
  // The device was reset: its queue is empty, and a read left waiting takes
  // nothing; with stale, nothing ever completes on this handle again.
  void Reset(bool stale) {
    outstanding_ = false;
    queue_.clear();
    stale_ = stale_ || stale;
  }

 private:
  HidIo Taken(const InputReport& report) {
    if (system_.onRead) system_.onRead(report);
    return HidIo::Done;
  }
  bool Failing() {
    const VirtualDevice* device = system_.Find(path_);
    return !dead_ && device != nullptr && device->failing;
  }

  VirtualHidSystem& system_;
  std::string path_;
  std::deque<InputReport> queue_;
  std::optional<InputReport> completed_;
  bool outstanding_ = false;
  bool dead_ = false;
  bool stale_ = false;  // reads never complete
};

class VirtualWriter : public HidWriter {
 public:
  VirtualWriter(VirtualHidSystem& system, std::string path) : system_(system), path_(std::move(path)) {
    ++system_.openHandles;
    system_.writers_.push_back(this);
  }
  ~VirtualWriter() override {
    --system_.openHandles;
    system_.writers_.erase(std::find(system_.writers_.begin(), system_.writers_.end(), this));
  }

  HidIo Write(const OutputReport& report, unsigned) override {
    if (dead_) return HidIo::Gone;
    if (stale_) return HidIo::NotNow;
    const VirtualDevice* device = system_.Find(path_);
    if (device != nullptr && device->failing) return HidIo::Failed;
    system_.written.push_back(report);
    return HidIo::Done;
  }

  const std::string& Path() const { return path_; }
  void Kill() { dead_ = true; }
  void MakeStale() { stale_ = true; }

 private:
  VirtualHidSystem& system_;
  std::string path_;
  bool dead_ = false;
  bool stale_ = false;  // writes time out
};

VirtualHidSystem::~VirtualHidSystem() = default;

VirtualDevice& VirtualHidSystem::AddPendant() {
  ++pendants_;
  devices_.push_back({"\\\\?\\hid#vid_04d8&pid_fceb#" + std::to_string(pendants_), {kPendantVendorId, kPendantProductId}});
  return devices_.back();
}

VirtualDevice& VirtualHidSystem::AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId) {
  char path[64];
  std::snprintf(path, sizeof path, "\\\\?\\hid#vid_%04x&pid_%04x#%zu", vendorId, productId, devices_.size() + 1);
  devices_.push_back({path, {vendorId, productId}});
  return devices_.back();
}

VirtualDevice* VirtualHidSystem::Find(const std::string& path) {
  for (VirtualDevice& device : devices_)
    if (device.path == path) return &device;
  return nullptr;
}

void VirtualHidSystem::Send(const std::string& path, const InputReport& report, int count) {
  const VirtualDevice* device = Find(path);
  if (device == nullptr || !device->present) return;
  for (int i = 0; i < count; ++i)
    for (VirtualReader* reader : readers_)
      if (reader->Path() == path) reader->Queue(report);
}

void VirtualHidSystem::Unplug(const std::string& path) {
  VirtualDevice* device = Find(path);
  if (device == nullptr) return;
  device->present = false;
  for (VirtualReader* reader : readers_)
    if (reader->Path() == path) reader->Kill();
  for (VirtualWriter* writer : writers_)
    if (writer->Path() == path) writer->Kill();
}

void VirtualHidSystem::SetFailing(const std::string& path, bool failing) {
  VirtualDevice* device = Find(path);
  if (device == nullptr) return;
  device->failing = failing;
  if (!failing) return;
  for (VirtualReader* reader : readers_)
    if (reader->Path() == path) reader->Lose();
}

void VirtualHidSystem::ResetAfterSleep(bool staleHandles) {
  for (VirtualReader* reader : readers_) reader->Reset(staleHandles);
  if (staleHandles)
    for (VirtualWriter* writer : writers_) writer->MakeStale();
}

void VirtualHidSystem::Replug(const std::string& path) {
  if (VirtualDevice* device = Find(path)) device->present = true;
}

HidGuid VirtualHidSystem::HidClassGuid() {
  // {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID interface class.
  return HidGuid{{0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11, 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

void VirtualHidSystem::ForEachInterface(const HidGuid&, const std::function<bool(const std::string&)>& visit) {
  // Paths are copied first: a visit may add nothing, but must not see a moving vector.
  std::vector<std::string> present;
  for (const VirtualDevice& device : devices_)
    if (device.present) present.push_back(device.path);
  for (const std::string& path : present)
    if (visit(path)) return;
}

std::optional<HidAttributes> VirtualHidSystem::QueryAttributes(const std::string& path) {
  ++attributeQueries;
  const VirtualDevice* device = Find(path);
  if (device == nullptr || !device->present) return std::nullopt;
  return device->attributes;
}

bool VirtualHidSystem::MayOpen(const std::string& path) {
  const VirtualDevice* device = Find(path);
  if (device == nullptr || !device->present)
    lastOpenFailure_ = {HidOpenError::Missing, 0};
  else if (failOpens)
    lastOpenFailure_ = {failOpensWith, 0};
  else
    lastOpenFailure_ = {};
  return lastOpenFailure_.error == HidOpenError::None;
}

std::unique_ptr<HidReader> VirtualHidSystem::OpenReader(const std::string& path) {
  if (!MayOpen(path)) return nullptr;
  return std::make_unique<VirtualReader>(*this, path);
}

std::unique_ptr<HidWriter> VirtualHidSystem::OpenWriter(const std::string& path) {
  if (!MayOpen(path)) return nullptr;
  return std::make_unique<VirtualWriter>(*this, path);
}

void VirtualLinkSite::SetExecutionState(std::uint32_t flags) {
  if ((flags & kContinuous) != 0)
    record_.keptAwake = (flags & kSystemRequired) != 0;
  else if ((flags & (kSystemRequired | kDisplayRequired)) == (kSystemRequired | kDisplayRequired))
    record_.touched = true;
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
