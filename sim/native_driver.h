// The native runner's plug-in: the portable core acting as a module named
// "Quenta.dll", with the virtual pendant for the HID system and the scenario
// itself delivering the window's timer and device-change messages.
#pragma once

#include <memory>
#include <string>

#include "device/pendant_link.h"
#include "sim/plugin_driver.h"
#include "sim/virtual_hid.h"

namespace quenta::sim {

class NativeDriver : public PluginDriver {
 public:
  // Starts a fresh module: all module-wide state back to its value at load.
  explicit NativeDriver(ScriptedHost& host);
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
  void Poll() override;
  void Tick() override;
  ConfigOutcome Config(bool ok, const std::vector<DialogSetting>& settings) override;
  void Stop() override;
  std::optional<OutputReport> TakeLastReport() override;

 private:
  void EnsureDevices();
  VirtualDevice* Pendant();
  void Notify(unsigned event, const std::string& path);
  void DeliverTimer();
  // A link stopped from inside one of its own messages goes once they are done.
  void DeleteIfStopped();

  ScriptedHost& host_;
  VirtualHidSystem hid_;
  VirtualLinkWindow window_;
  std::unique_ptr<PandrelWin> link_;
  bool stopped_ = false;
  int pendantCount_ = 1;
  bool devicesMade_ = false;
  std::string pendantPath_;  // the first pendant's path now: a plug moves it
  unsigned char hostView_[16] = {};  // stands for the host's view window; never dereferenced
};

}  // namespace quenta::sim
