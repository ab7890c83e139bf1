#include "plugin/module_state.h"

#include "config/pendant_settings.h"
#include "plugin/framework_string.h"
#include "plugin/hold_ticks.h"

namespace quenta {

HostCallbacks Host;
void* HostBlock1 = nullptr;
void* HostBlock2 = nullptr;
void* HostBlock3 = nullptr;
void* HostView = nullptr;
std::string ProfileName;

void ShowStatus(const char* text) {
  if (HostBlock3 == nullptr) return;
  auto* status = reinterpret_cast<FrameworkString*>(static_cast<char*>(HostBlock3) + kStatusLineOffset);
  AssignFrameworkString(*status, text);
}

void ResetModuleState() {
  Host = HostCallbacks{};
  HostBlock1 = HostBlock2 = HostBlock3 = HostView = nullptr;
  ProfileName.clear();
  Settings = PendantSettings{};
  ResetHoldTicks();
}

}  // namespace quenta
