#include "sim/native_driver.h"

#include "plugin/hold_ticks.h"
#include "plugin/lifecycle.h"
#include "plugin/module_state.h"
#include "sim/scripted_dialog.h"
#include "sim/scripted_host.h"

namespace quenta::sim {

namespace {

constexpr std::uint16_t kOtherVendorId = 0x1234;
constexpr std::uint16_t kOtherProductId = 0x5678;

bool IsPendant(const VirtualDevice& device) {
  return device.attributes.vendorId == kPendantVendorId && device.attributes.productId == kPendantProductId;
}

}  // namespace

NativeDriver::NativeDriver(ScriptedHost& host) : host_(host) {
  ResetModuleState();
  host_.SetTimerMessage([this] { DeliverTimer(); });
}

NativeDriver::~NativeDriver() {
  host_.SetTimerMessage(nullptr);
  link_.reset();
  ResetModuleState();  // no callback may outlive the host it points into
}

void NativeDriver::EnsureDevices() {
  if (devicesMade_) return;
  devicesMade_ = true;
  for (int i = 0; i < pendantCount_; ++i) hid_.AddPendant();
  if (pendantCount_ > 0) pendantPath_ = hid_.Devices().front().path;
}

VirtualDevice* NativeDriver::Pendant() { return pendantPath_.empty() ? nullptr : hid_.Find(pendantPath_); }

std::string NativeDriver::Start(const std::string& profilePath) {
  EnsureDevices();
  Host = ScriptedHost::Callbacks();
  const char* title = SetProNameCore(host_.MakeString(profilePath), "Quenta.dll");
  const std::string titleText = title == nullptr ? "" : title;
  HostBlock1 = host_.HostBlock1();
  HostBlock2 = host_.HostBlock2();
  HostBlock3 = host_.HostBlock3();
  HostView = hostView_;
  link_ = std::make_unique<PandrelWin>(hid_, window_);
  PostInitControlCore(link_.get());
  return titleText;
}

// The plug-in hears of devices only once it registered, at a discovery match.
void NativeDriver::Notify(unsigned event, const std::string& path) {
  if (!link_ || !window_.registered) return;
  const std::vector<unsigned char> record = DeviceInterfaceBroadcast(path);
  link_->OnDeviceChange(event, record.data());
  DeleteIfStopped();
}

void NativeDriver::DeleteIfStopped() {
  if (stopped_ && link_ && !link_->InUse()) link_.reset();
}

void NativeDriver::Stop() {
  if (!link_) return;
  stopped_ = true;
  link_->Stop();
  DeleteIfStopped();
}

void NativeDriver::SetFailing(bool failing) {
  EnsureDevices();
  if (VirtualDevice* pendant = Pendant()) hid_.SetFailing(pendant->path, failing);
}

void NativeDriver::SendReports(const InputReport& report, int count) {
  EnsureDevices();
  for (const VirtualDevice& device : hid_.Devices())
    if (IsPendant(device)) hid_.Send(device.path, report, count);
}

void NativeDriver::Unplug(bool silently) {
  EnsureDevices();
  VirtualDevice* pendant = Pendant();
  if (pendant == nullptr || !pendant->present) return;
  hid_.Unplug(pendant->path);
  if (!silently) Notify(kDeviceRemoveComplete, pendant->path);
}

void NativeDriver::Replug() {
  EnsureDevices();
  if (Pendant() == nullptr) pendantPath_ = hid_.AddPendant().path;
  else if (Pendant()->present) return;
  hid_.Replug(pendantPath_);
  Notify(kDeviceArrival, pendantPath_);
}

bool NativeDriver::Plug() {
  EnsureDevices();
  if (Pendant() != nullptr && Pendant()->present) return false;
  pendantPath_ = hid_.AddPendant().path;
  Notify(kDeviceArrival, pendantPath_);
  return true;
}

void NativeDriver::OtherArrives() {
  EnsureDevices();
  const std::string path = hid_.AddOtherDevice(kOtherVendorId, kOtherProductId).path;
  Notify(kDeviceArrival, path);
}

void NativeDriver::OtherLeaves() {
  EnsureDevices();
  const std::vector<VirtualDevice>& devices = hid_.Devices();
  for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
    if (!IsPendant(*device) && device->present) {
      const std::string path = device->path;
      hid_.Unplug(path);
      Notify(kDeviceRemoveComplete, path);
      return;
    }
  }
  Notify(kDeviceRemoveComplete, "\\\\?\\hid#vid_1234&pid_5678#0");
}

void NativeDriver::DeliverTimer() {
  if (!link_ || window_.timerStarts == 0) return;
  link_->OnTimer();
  DeleteIfStopped();
}

void NativeDriver::Poll() {
  DeliverTimer();
  // Only the latest report is ever looked at; keep long runs small.
  if (hid_.written.size() > 1) hid_.written.erase(hid_.written.begin(), hid_.written.end() - 1);
}

void NativeDriver::Tick() { AdvanceHoldTicks(); }

ConfigOutcome NativeDriver::Config(bool ok, const std::vector<DialogSetting>& settings) {
  ConfigCore(ScriptedDialog(ok, settings, host_));
  return ConfigOutcome::Ran;
}

std::optional<OutputReport> NativeDriver::TakeLastReport() {
  if (hid_.written.empty()) return std::nullopt;
  const OutputReport last = hid_.written.back();
  hid_.written.clear();
  return last;
}

}  // namespace quenta::sim
