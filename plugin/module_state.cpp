#include "plugin/module_state.h"

#include <cstring>

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
bool HostSilenced = false;

void ShowStatus(const char* text) {
  if (HostBlock3 == nullptr) return;
  // At the host's offset the string object is only 4-byte aligned, which a
  // 64-bit pointer does not allow: copy it out and back.
  char* where = static_cast<char*>(HostBlock3) + kStatusLineOffset;
  FrameworkString status;
  std::memcpy(&status, where, sizeof status);
  AssignFrameworkString(status, text);
  std::memcpy(where, &status, sizeof status);
}

void ResetModuleState() {
  Host = HostCallbacks{};
  HostBlock1 = HostBlock2 = HostBlock3 = HostView = nullptr;
  ProfileName.clear();
  HostSilenced = false;
  Settings = PendantSettings{};
  ResetHoldTicks();
}

}  // namespace quenta
