#include "plugin/module_core.h"

#include "profile/profile_store.h"

namespace quenta {

namespace {
constexpr char kTitleTail[] = " Pendant --Orbelin Ver 1.0";
}  // namespace

std::string ModuleStem(const std::string& modulePath) {
  const std::size_t slash = modulePath.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? modulePath : modulePath.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

ModuleCore::ModuleCore(std::string moduleStem, SiteFactory makeSite, TraceSink trace, int reportsPerPoll)
    : moduleStem_(std::move(moduleStem)),
      makeSite_(std::move(makeSite)),
      trace_(std::move(trace)),
      reportsPerPoll_(reportsPerPoll) {}

ModuleCore::~ModuleCore() = default;

void ModuleCore::Tell(const std::string& line) const {
  if (trace_) trace_(moduleStem_ + ": " + line);
}

void ModuleCore::TellCaught(const char* entryPoint, const char* what) const {
  Tell(std::string(entryPoint) + " failed: " + what);
}

const char* ModuleCore::SetProName(FrameworkString name) {
  // The host hands its string over by value: it is released exactly once, whatever happens below.
  struct ReleaseOnExit {
    FrameworkString& str;
    ~ReleaseOnExit() { ReleaseFrameworkString(str); }
  } release{name};
  profileName_ = FrameworkStringText(name);
  title_ = moduleStem_ + kTitleTail;
  ProfileStore store(profileName_);
  if (!store.Save()) Tell("the profile \"" + profileName_ + "\" was not saved");
  return title_.c_str();
}

void ModuleCore::InitControl(void* block1, void* block2, void* block3, void* view) {
  host_.block1 = block1;
  host_.block2 = block2;
  host_.block3 = block3;
  host_.view = view;
  const LinkKeeper::Entry entry(links_);
  std::unique_ptr<LinkSite> site = makeSite_ ? makeSite_(view, links_) : nullptr;
  if (!site) {
    Tell("the pendant's window could not be made: the pendant is not polled");
    links_.Retire();
    return;
  }
  auto link = std::make_unique<PandrelWin>(
      *site, host_, settings_, ticks_, [this](const std::string& line) { Tell(line); }, reportsPerPoll_);
  site->Attach(*link);
  links_.Install(std::move(site), std::move(link));
}

void ModuleCore::PostInitControl() {
  const LinkKeeper::Entry entry(links_);
  ProfileStore store(profileName_);
  if (!store.FoundTheProfile() && !profileName_.empty())
    Tell("the profile \"" + profileName_ + "\" was missing or unreadable: the settings start from their defaults");
  LoadFunctionKeySettings(store, settings_);
  if (PandrelWin* link = links_.Current()) link->FindPendant();
  LoadRemainingSettings(store, settings_);
  if (!store.Save()) Tell("the profile \"" + profileName_ + "\" was not saved");
}

void ModuleCore::Config(const std::function<void(PendantSettings&)>& editSettings) {
  // A second Config while the dialog is open would make a second store and
  // dialog over the first: the open one stays the only one.
  if (dialogOpen_) return;
  struct OpenWhileHere {
    bool& open;
    explicit OpenWhileHere(bool& flag) : open(flag) { open = true; }
    ~OpenWhileHere() { open = false; }
  } openWhileHere(dialogOpen_);
  ProfileStore store(profileName_);
  // A profile missing or unreadable for a moment (the host rewriting it, a
  // share that dropped) holds no settings: those in use stay, the dialog shows
  // them, and the save writes them back.
  if (store.FoundTheProfile())
    LoadSettings(store, settings_);
  else
    Tell("the profile \"" + profileName_ + "\" was missing or unreadable: the dialog shows the settings in use");
  editSettings(settings_);
  SaveSettings(store, settings_);
  if (!store.Save())
    Tell("the profile \"" + profileName_ + "\" was not saved: the settings stay in use until the next save");
}

void ModuleCore::StopPlug() { links_.Retire(); }

}  // namespace quenta
