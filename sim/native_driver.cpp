#include "sim/native_driver.h"

#include "sim/scripted_dialog.h"
#include "sim/scripted_host.h"

namespace quenta::sim {

namespace {

constexpr std::uint16_t kOtherVendorId = 0x1234;
constexpr std::uint16_t kOtherProductId = 0x5678;

bool IsPendant(const VirtualDevice& device) { return quenta::IsPendant(device.attributes); }

}  // namespace

NativeDriver::NativeDriver(ScriptedHost& host, ModuleCore::TraceSink trace)
    : host_(host), module_(host, std::move(trace)) {
  host_.SetTimerMessage([this] { module_.Timer(); });
}

NativeDriver::~NativeDriver() { host_.SetTimerMessage(nullptr); }

void NativeDriver::EnsureDevices() {
  if (devicesMade_) return;
  devicesMade_ = true;
  for (int i = 0; i < pendantCount_; ++i) module_.Hid().AddPendant();
  if (pendantCount_ > 0) pendantPath_ = module_.Hid().Devices().front().path;
}

VirtualDevice* NativeDriver::Pendant() { return pendantPath_.empty() ? nullptr : module_.Hid().Find(pendantPath_); }

std::string NativeDriver::Start(const std::string& profilePath) {
  EnsureDevices();
  return module_.Start(profilePath);
}

void NativeDriver::Notify(unsigned event, const std::string& path) {
  const std::vector<unsigned char> record = DeviceInterfaceBroadcast(path);
  module_.DeviceChange(event, record.data());
}

void NativeDriver::Stop() { module_.Core().StopPlug(); }

void NativeDriver::ApplyFailing() {
  if (VirtualDevice* pendant = Pendant()) module_.Hid().SetFailing(pendant->path, failing_);
}

void NativeDriver::SetFailing(bool failing) {
  EnsureDevices();
  failing_ = failing;
  ApplyFailing();
}

void NativeDriver::SendReports(const InputReport& report, int count) {
  EnsureDevices();
  for (const VirtualDevice& device : module_.Hid().Devices())
    if (IsPendant(device)) module_.Hid().Send(device.path, report, count);
}

void NativeDriver::Unplug(bool silently) {
  EnsureDevices();
  VirtualDevice* pendant = Pendant();
  if (pendant == nullptr || !pendant->present) return;
  module_.Hid().Unplug(pendant->path);
  if (!silently) Notify(kDeviceRemoveComplete, pendant->path);
}

void NativeDriver::Replug() {
  EnsureDevices();
  if (Pendant() == nullptr)
    pendantPath_ = module_.Hid().AddPendant().path;
  else if (Pendant()->present)
    return;
  module_.Hid().Replug(pendantPath_);
  ApplyFailing();
  Notify(kDeviceArrival, pendantPath_);
}

bool NativeDriver::Plug() {
  EnsureDevices();
  if (Pendant() != nullptr && Pendant()->present) return false;
  pendantPath_ = module_.Hid().AddPendant().path;
  ApplyFailing();
  Notify(kDeviceArrival, pendantPath_);
  return true;
}

void NativeDriver::OtherArrives() {
  EnsureDevices();
  const std::string path = module_.Hid().AddOtherDevice(kOtherVendorId, kOtherProductId).path;
  Notify(kDeviceArrival, path);
}

void NativeDriver::OtherLeaves() {
  EnsureDevices();
  const std::vector<VirtualDevice>& devices = module_.Hid().Devices();
  for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
    if (!IsPendant(*device) && device->present) {
      const std::string path = device->path;
      module_.Hid().Unplug(path);
      Notify(kDeviceRemoveComplete, path);
      return;
    }
  }
  Notify(kDeviceRemoveComplete, "\\\\?\\hid#vid_1234&pid_5678#0");
}

void NativeDriver::Suspend() { module_.Suspend(); }

void NativeDriver::Resume(bool staleHandles) {
  module_.Hid().ResetAfterSleep(staleHandles);
  module_.Resume();
}

void NativeDriver::Poll() {
  module_.Timer();
  // Only the latest report is ever looked at; keep long runs small.
  std::vector<OutputReport>& written = module_.Hid().written;
  if (written.size() > 1) written.erase(written.begin(), written.end() - 1);
}

void NativeDriver::Tick() { module_.Core().Update(); }

ConfigOutcome NativeDriver::Config(bool ok, const std::vector<DialogSetting>& settings) {
  module_.Core().Config(ScriptedDialog(ok, settings, host_));
  return ConfigOutcome::Ran;
}

std::optional<OutputReport> NativeDriver::TakeLastReport() {
  std::vector<OutputReport>& written = module_.Hid().written;
  if (written.empty()) return std::nullopt;
  const OutputReport last = written.back();
  written.clear();
  return last;
}

AwakeState NativeDriver::TakeAwake() {
  const AwakeState state{module_.Site().keptAwake, module_.Site().touched};
  module_.Site().touched = false;
  return state;
}

}  // namespace quenta::sim
