// A freshly loaded module, natively: the module core with the scripted
// host's callbacks, a virtual HID stack for its link, and a site that records
// what the link asks of its window and of Windows. The native runner, the
// unit tests, the jog-safety sessions and the benchmarks all make their
// plug-in this one way. Every message goes to the current link inside an
// entry, as the Win32 window delivers it.
#pragma once

#include <string>

#include "plugin/module_core.h"
#include "sim/scripted_host.h"
#include "sim/virtual_hid.h"

namespace quenta::sim {

class NativeModule {
 public:
  // The host becomes the current one; its callbacks are handed over at Start.
  explicit NativeModule(ScriptedHost& host, ModuleCore::TraceSink trace = {},
                        int reportsPerPoll = kReportsPerPollMax);
  NativeModule(const NativeModule&) = delete;
  NativeModule& operator=(const NativeModule&) = delete;

  // The host's start-up: the six Set... exports, SetProName with the profile
  // path (empty: no profile), InitControl, PostInitControl. Returns the title.
  std::string Start(const std::string& profilePath);
  // InitControl and PostInitControl again: a new link, the old one retired.
  void InitControl();

  // The current link's window messages; nothing before Start or after StopPlug.
  void Timer();
  void DeviceChange(unsigned event, const void* data);
  void Suspend();
  void Resume();

  ModuleCore& Core() { return core_; }
  VirtualHidSystem& Hid() { return hid_; }
  SiteRecord& Site() { return site_; }
  PandrelWin* Link() { return core_.Links().Current(); }

 private:
  template <typename F>
  void Deliver(F&& message);

  ScriptedHost& host_;
  VirtualHidSystem hid_;
  SiteRecord site_;
  ModuleCore core_;  // after the HID stack and the record: its link uses them
  unsigned char hostView_[16] = {};  // stands for the host's view window; never dereferenced
};

}  // namespace quenta::sim
