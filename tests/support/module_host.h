// The scripted host as the module's host, on a freshly loaded module: its
// callbacks, and its HostBlock3 with the status line.
#pragma once

#include "plugin/module_state.h"
#include "sim/scripted_host.h"

namespace quenta {

inline void InstallScriptedHost(sim::ScriptedHost& host) {
  ResetModuleState();
  host.MakeCurrent();
  Host = sim::ScriptedHost::Callbacks();
  HostBlock3 = host.HostBlock3();
}

}  // namespace quenta
