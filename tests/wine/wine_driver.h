// The Wine runner's plug-in: the real DLL, loaded afresh for each scenario,
// under a real HostView window, with pendants served as named pipes and its
// Win32 boundary watched. The scenario drives time: the plug-in's own 25 ms
// timer is stopped on whichever window it runs, so that only `poll` (and the
// host's pump) runs the cycle, as in the native runner. Device notifications
// reach the plug-in only at the window registered for them; power notices go
// to every top-level window of the thread, as Windows broadcasts them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/plugin_driver.h"
#include "tests/wine/host_view.h"
#include "tests/wine/import_watch.h"
#include "tests/wine/pipe_device.h"
#include "tests/wine/plugin_dll.h"

namespace quenta::wine {

class WineDriver : public sim::PluginDriver {
 public:
  explicit WineDriver(sim::ScriptedHost& host);
  ~WineDriver() override;

  void SetPendantCount(int count) override { pendantCount_ = count; }
  // Before the pendants are made: whether they take the reports written to them.
  void SetPendantWrites(PipeDevice::Writes writes) { pendantWrites_ = writes; }
  std::string Start(const std::string& profilePath) override;
  void SendReports(const InputReport& report, int count) override;
  void Unplug(bool silently) override;
  void Replug() override;
  bool Plug() override;
  void SetFailing(bool failing) override;
  void OtherArrives() override;
  void OtherLeaves() override;
  void Suspend() override;
  void Resume(bool staleHandles) override;
  void Poll() override;
  void Tick() override;
  sim::ConfigOutcome Config(bool ok, const std::vector<sim::DialogSetting>& settings) override;
  void Stop() override;
  std::optional<OutputReport> TakeLastReport() override;
  sim::AwakeState TakeAwake() override;

  // For the harness tests: what the host sees beyond the scenario language.
  PluginDll& Dll() { return dll_; }
  HostView& View() { return view_; }
  ImportWatch& Watch() { return watch_; }
  PipeHidBus& Bus() { return bus_; }
  // The pendants made for discovery, in enumeration order.
  const std::vector<PipeDevice*>& Pendants() { return EnsureDevices(); }
  // Whether PostInitControl had started the plug-in's poll timer.
  bool TimerWasStarted() const { return timerStarted_; }
  // Every report the plug-in wrote to any pendant since the previous call.
  std::vector<std::vector<std::uint8_t>> TakeWritten();

 private:
  const std::vector<PipeDevice*>& EnsureDevices();
  PipeDevice* FirstPendant();
  // The pendant's failing mode goes with it to every path it takes.
  void ApplyFailing(PipeDevice& pendant);
  void Notify(unsigned event, const std::string& path);
  void Collect();
  void QuietTimer();
  void DeliverTimer();

  // The host's UI thread is a COM apartment; the profile store relies on it.
  struct ComApartment {
    ComApartment();
    ~ComApartment();
  } com_;
  sim::ScriptedHost& host_;
  PluginDll dll_;
  ImportWatch watch_{dll_.Module()};  // after the DLL: its imports are restored before it unloads
  HostView view_;
  PipeHidBus bus_;
  std::vector<PipeDevice*> pendants_;
  std::vector<PipeDevice*> others_;
  bool devicesMade_ = false;
  int pendantCount_ = 1;
  PipeDevice::Writes pendantWrites_ = PipeDevice::Writes::Accepted;
  bool started_ = false;
  bool timerStarted_ = false;
  bool failing_ = false;
  HWND quietTimer_ = nullptr;  // the window whose real timer was stopped
  std::vector<std::vector<std::uint8_t>> written_;
};

}  // namespace quenta::wine
