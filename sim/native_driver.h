// The native runner's plug-in: the portable core acting as a module named
// "Quenta.dll", with the virtual pendant for the HID system and the scenario
// itself delivering the window's timer, device-change and power messages.
#pragma once

#include <memory>
#include <string>

#include "sim/native_module.h"
#include "sim/plugin_driver.h"

namespace quenta::sim {

class NativeDriver : public PluginDriver {
 public:
  // A freshly loaded module; trace lines go to `trace` when it is set.
  NativeDriver(ScriptedHost& host, ModuleCore::TraceSink trace);
  ~NativeDriver() override;

  void SetPendantCount(int count) override { pendantCount_ = count; }
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
  ConfigOutcome Config(bool ok, const std::vector<DialogSetting>& settings) override;
  void Stop() override;
  std::optional<OutputReport> TakeLastReport() override;
  AwakeState TakeAwake() override;

 private:
  void EnsureDevices();
  VirtualDevice* Pendant();
  // The pendant's failing mode goes with it to every path it takes.
  void ApplyFailing();
  void Notify(unsigned event, const std::string& path);

  ScriptedHost& host_;
  NativeModule module_;
  int pendantCount_ = 1;
  bool devicesMade_ = false;
  bool failing_ = false;
  std::string pendantPath_;  // the first pendant's path now: a plug moves it
};

}  // namespace quenta::sim
