// Module-wide state owned by the exports: the host callbacks, the host
// pointers and the profile name. One instance of each, for the module's life.
#pragma once

#include <string>

#include "plugin/host_api.h"

namespace quenta {

extern HostCallbacks Host;
extern void* HostBlock1;
extern void* HostBlock2;
extern void* HostBlock3;
extern void* HostView;
extern std::string ProfileName;
// Set by StopPlug once the jogs it ends have their end codes: from then on the
// plug-in calls the host no more.
extern bool HostSilenced;

// Replaces the host's status-line text. Without a HostBlock3 the message is dropped.
void ShowStatus(const char* text);

// Everything back to its value at load: the simulator starts each scenario as a fresh module.
void ResetModuleState();

}  // namespace quenta
