// The module's state, owned in one place: the host connection (callbacks,
// host blocks, status line), the settings, the tick counters, the profile
// name, the trace and the pendant link's lifetime. The DLL's exports and the
// simulator's native runner are thin callers of it; tests, the property
// sessions and the benchmarks make their links through it too.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "config/pendant_settings.h"
#include "control/hold_ticks.h"
#include "device/link_keeper.h"
#include "plugin/framework_string.h"
#include "plugin/host_connection.h"

namespace quenta {

// The module's file name without folder and extension.
std::string ModuleStem(const std::string& modulePath);

class ModuleCore {
 public:
  // Makes the platform's site for a link under the host's view window (a
  // window of the plug-in's own that gets the link's messages, inside
  // keeper's entries); null when it cannot be made: the settings still load.
  using SiteFactory = std::function<std::unique_ptr<LinkSite>(void* hostView, LinkKeeper& keeper)>;
  // Where the trace lines go (OutputDebugStringA on Windows): each already
  // prefixed with the module's name.
  using TraceSink = std::function<void(const std::string& line)>;

  // reportsPerPoll other than kReportsPerPollMax exists for the benchmark's
  // one-read-per-cycle comparison only.
  ModuleCore(std::string moduleStem, SiteFactory makeSite, TraceSink trace, int reportsPerPoll = kReportsPerPollMax);
  ~ModuleCore();
  ModuleCore(const ModuleCore&) = delete;
  ModuleCore& operator=(const ModuleCore&) = delete;

  // The six Set... exports store into these.
  HostCallbacks& Callbacks() { return host_.callbacks; }
  // "<module name> Pendant --Orbelin Ver 1.0". Takes over `name` and releases
  // it once. The pointer stays valid until the next call.
  const char* SetProName(FrameworkString name);
  void InitControl(void* block1, void* block2, void* block3, void* view);
  void PostInitControl();
  void Update() { ticks_.Advance(); }
  // editSettings shows the configuration dialog on the settings in use. A
  // call made while the dialog is open returns at once.
  void Config(const std::function<void(PendantSettings&)>& editSettings);
  void StopPlug();

  // The module's file name without folder and extension.
  const std::string& Name() const { return moduleStem_; }
  // One line for support.
  void Tell(const std::string& line) const;
  // For the exports: a failure caught at the boundary leaves its trace.
  void TellCaught(const char* entryPoint, const char* what) const;

  LinkKeeper& Links() { return links_; }
  PendantSettings& Settings() { return settings_; }
  HoldTicks& Ticks() { return ticks_; }
  HostConnection& Host() { return host_; }

 private:
  const std::string moduleStem_;
  SiteFactory makeSite_;
  TraceSink trace_;
  HostConnection host_;
  PendantSettings settings_;
  HoldTicks ticks_;
  std::string profileName_;
  std::string title_;
  bool dialogOpen_ = false;
  const int reportsPerPoll_;
  LinkKeeper links_;  // last: its links use everything above
};

}  // namespace quenta
