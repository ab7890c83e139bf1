#include "plugin/lifecycle.h"

#include "config/pendant_settings.h"
#include "device/pendant_link.h"
#include "plugin/module_state.h"
#include "profile/profile_store.h"

namespace quenta {

namespace {
constexpr char kTitleTail[] = " Pendant --Orbelin Ver 1.0";
std::string FullTitle;
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
  FullTitle = ModuleStem(modulePath) + kTitleTail;
  ProfileStore(ProfileName).Save();  // opens the profile and writes it back
  return FullTitle.c_str();
}

void PostInitControlCore(PandrelWin* link) {
  ProfileStore store(ProfileName);
  LoadFunctionKeySettings(store);
  if (link != nullptr) link->FindPendant();
  LoadRemainingSettings(store);
  store.Save();
}

void ConfigCore(const std::function<void()>& runDialog) {
  // A second Config while the dialog is open would make a second store and
  // dialog over the first: the open one stays the only one.
  static bool dialogOpen = false;
  if (dialogOpen) return;
  struct OpenWhileHere {
    OpenWhileHere() { dialogOpen = true; }
    ~OpenWhileHere() { dialogOpen = false; }
  } open;
  ProfileStore store(ProfileName);
  // A profile missing or unreadable for a moment (the host rewriting it, a
  // share that dropped) holds no settings: those in use stay, the dialog shows
  // them, and the save writes them back.
  if (store.FoundTheProfile()) LoadSettings(store);
  runDialog();
  SaveSettings(store);
  store.Save();
}

}  // namespace quenta
