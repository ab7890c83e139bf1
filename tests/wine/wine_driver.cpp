#include "tests/wine/wine_driver.h"

#include <objbase.h>
#include <dbt.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "sim/scripted_host.h"
#include "tests/wine/dialog_user.h"

namespace quenta::wine {

namespace {

constexpr UINT_PTR kPluginPollTimer = 1;
// Named like another device's interface, for a removal of a device nobody served.
constexpr char kUnservedOtherPath[] = "\\\\.\\pipe\\hid#vid_046d&pid_c077#0";

}  // namespace

WineDriver::ComApartment::ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
WineDriver::ComApartment::~ComApartment() { CoUninitialize(); }

WineDriver::WineDriver(sim::ScriptedHost& host) : host_(host) {
  if (!dll_.Loaded() || !dll_.Missing().empty())
    throw std::runtime_error("cannot load the plug-in: missing " + dll_.Missing());
  if (!watch_.Complete()) throw std::runtime_error("the plug-in does not import what the harness watches");
  host_.SetTimerMessage([this] { DeliverTimer(); });
}

WineDriver::~WineDriver() {
  host_.SetTimerMessage(nullptr);
  // The host's contract: StopPlug before the module is unloaded.
  if (started_) dll_->StopPlug();
}

const std::vector<PipeDevice*>& WineDriver::EnsureDevices() {
  if (!devicesMade_) {
    devicesMade_ = true;
    for (int i = 0; i < pendantCount_; ++i) pendants_.push_back(&bus_.AddPendant(pendantWrites_));
  }
  return pendants_;
}

PipeDevice* WineDriver::FirstPendant() {
  EnsureDevices();
  return pendants_.empty() ? nullptr : pendants_.front();
}

std::string WineDriver::Start(const std::string& profilePath) {
  EnsureDevices();
  host_.MakeCurrent();
  const HostCallbacks callbacks = sim::ScriptedHost::Callbacks();
  dll_->SetDoButton(callbacks.DoButton);
  dll_->SetSetDRO(callbacks.SetDRO);
  dll_->SetGetDRO(callbacks.GetDRO);
  dll_->SetGetLED(callbacks.GetLED);
  dll_->SetSetLED(callbacks.SetLED);
  dll_->SetCode(callbacks.Code);
  const char* title = dll_->SetProName(host_.MakeString(profilePath));
  const std::string titleText = title == nullptr ? "" : title;
  started_ = true;
  dll_->InitControl(host_.HostBlock1(), host_.HostBlock2(), host_.HostBlock3(), view_.FrameworkObject());
  dll_->PostInitControl();
  bus_.Pump();
  timerStarted_ = watch_.TimerWindow() != nullptr;
  QuietTimer();
  return titleText;
}

// Windows sends device-interface notifications only to a window registered
// for them; the plug-in's own window is the one that must be.
void WineDriver::Notify(unsigned event, const std::string& path) {
  const HWND registered = watch_.HidNotificationWindow();
  if (registered != nullptr && IsWindow(registered)) HostView::SendDeviceChangeTo(registered, event, path);
  bus_.Pump();
}

void WineDriver::SendReports(const InputReport& report, int count) {
  EnsureDevices();
  bus_.Pump();
  for (PipeDevice* pendant : pendants_)
    if (pendant->Present())
      for (int i = 0; i < count; ++i) pendant->SendReport(report);
}

void WineDriver::Unplug(bool silently) {
  PipeDevice* pendant = FirstPendant();
  if (pendant == nullptr || !pendant->Present()) return;
  bus_.Unplug(*pendant);
  if (!silently) Notify(DBT_DEVICEREMOVECOMPLETE, pendant->Path());
}

bool WineDriver::Plug() {
  PipeDevice* pendant = FirstPendant();
  if (pendant != nullptr && pendant->Present()) return false;
  PipeDevice& moved = bus_.AddPendant(pendantWrites_);
  if (pendant == nullptr)
    pendants_.push_back(&moved);
  else
    pendants_.front() = &moved;
  ApplyFailing(moved);
  Notify(DBT_DEVICEARRIVAL, moved.Path());
  return true;
}

void WineDriver::ApplyFailing(PipeDevice& pendant) {
  watch_.SetFailing(pendant.Path(), failing_);
  pendant.SetFailing(failing_);
}

void WineDriver::SetFailing(bool failing) {
  failing_ = failing;
  PipeDevice* pendant = FirstPendant();
  if (pendant == nullptr) return;
  bus_.Pump();
  ApplyFailing(*pendant);
}

void WineDriver::Replug() {
  PipeDevice* pendant = FirstPendant();
  if (pendant == nullptr) {
    pendants_.push_back(&bus_.AddPendant(pendantWrites_));
    pendant = pendants_.back();
    ApplyFailing(*pendant);
  } else if (pendant->Present()) {
    return;
  } else {
    bus_.Replug(*pendant);
  }
  Notify(DBT_DEVICEARRIVAL, pendant->Path());
}

void WineDriver::OtherArrives() {
  EnsureDevices();
  others_.push_back(&bus_.AddOther());
  Notify(DBT_DEVICEARRIVAL, others_.back()->Path());
}

void WineDriver::OtherLeaves() {
  EnsureDevices();
  for (auto other = others_.rbegin(); other != others_.rend(); ++other) {
    if ((*other)->Present()) {
      bus_.Unplug(**other);
      Notify(DBT_DEVICEREMOVECOMPLETE, (*other)->Path());
      return;
    }
  }
  Notify(DBT_DEVICEREMOVECOMPLETE, kUnservedOtherPath);
}

void WineDriver::Suspend() {
  bus_.Pump();
  HostView::BroadcastPower(PBT_APMSUSPEND);
  bus_.Pump();
}

void WineDriver::Resume(bool staleHandles) {
  bus_.Pump();
  bus_.ResetQueues();
  if (staleHandles) watch_.MakeOpenHandlesStale();
  HostView::BroadcastPower(PBT_APMRESUMEAUTOMATIC);
  bus_.Pump();
}

// Only the scenario runs the poll: the plug-in's own timer is stopped on the
// window it runs on now (the child of the view, or its own once the view is gone).
void WineDriver::QuietTimer() {
  const HWND window = watch_.TimerWindow();
  if (window == nullptr || window == quietTimer_) return;
  KillTimer(window, kPluginPollTimer);
  quietTimer_ = window;
}

void WineDriver::DeliverTimer() {
  if (!started_ || !timerStarted_) return;
  QuietTimer();
  HostView::SendTimerTo(watch_.TimerWindow());
}

void WineDriver::Poll() {
  bus_.Pump();
  DeliverTimer();
  Collect();
}

void WineDriver::Tick() { dll_->Update(); }

sim::ConfigOutcome WineDriver::Config(bool ok, const std::vector<sim::DialogSetting>& settings) {
  const ScenarioConfigRun run = RunScenarioConfig(dll_->Config, ok, settings);
  for (const std::string& message : run.messages) host_.RecordMessage(message);
  if (!run.sawDialog) return sim::ConfigOutcome::Unavailable;
  if (!run.errors.empty()) throw std::runtime_error("config: " + run.errors.front());
  return sim::ConfigOutcome::Ran;
}

void WineDriver::Stop() {
  if (!started_) return;
  dll_->StopPlug();
  bus_.Pump();
}

void WineDriver::Collect() {
  for (PipeDevice* pendant : pendants_)
    for (auto& report : pendant->TakeWritten()) written_.push_back(std::move(report));
}

std::vector<std::vector<std::uint8_t>> WineDriver::TakeWritten() {
  Collect();
  return std::exchange(written_, {});
}

sim::AwakeState WineDriver::TakeAwake() { return {watch_.KeptAwake(), watch_.TakeTouched()}; }

std::optional<OutputReport> WineDriver::TakeLastReport() {
  const auto written = TakeWritten();
  if (written.empty()) return std::nullopt;
  OutputReport last{};
  std::copy_n(written.back().begin(), std::min(written.back().size(), last.size()), last.begin());
  return last;
}

}  // namespace quenta::wine
