#include "plugin/lifecycle.h"

#include "config/pendant_settings.h"
#include "device/pandrel_win.h"
#include "plugin/module_state.h"
#include "profile/profile_store.h"

namespace quenta {

namespace {
std::string FullTitle;
std::string TitleTail;
}  // namespace

std::string ModuleStem(const std::string& modulePath) {
  const std::size_t slash = modulePath.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

const char* SetProNameCore(FrameworkString name, const std::string& modulePath) {
  // The host hands its string over by value: it is released exactly once, whatever happens below.
  struct ReleaseOnExit {
    FrameworkString& str;
    ~ReleaseOnExit() { ReleaseFrameworkString(str); }
  } release{name};
  ProfileName = FrameworkStringText(name);
  TitleTail = " Pendant --Orbelin Ver 1.0";
  FullTitle = ModuleStem(modulePath) + TitleTail;
  {
    ProfileStore store;  // opens the profile; its destruction writes it back
  }
  return FullTitle.c_str();
}

void PostInitControlCore(PandrelWin* link) {
  ProfileStore store;
  LoadFunctionKeySettings(store);
  if (link != nullptr) link->FindPendant();
  LoadRemainingSettings(store);
}

void ConfigCore(const std::function<void()>& runDialog) {
  ProfileStore store;
  LoadSettings(store);
  runDialog();
  SaveSettings(store);
}

}  // namespace quenta
