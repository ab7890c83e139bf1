#include "sim/native_module.h"

#include <memory>

namespace quenta::sim {

NativeModule::NativeModule(ScriptedHost& host, ModuleCore::TraceSink trace, int reportsPerPoll)
    : host_(host),
      core_(
          "Quenta",
          [this](void*, LinkKeeper&) -> std::unique_ptr<LinkSite> {
            return std::make_unique<VirtualLinkSite>(hid_, site_);
          },
          std::move(trace), reportsPerPoll) {
  host_.MakeCurrent();
}

std::string NativeModule::Start(const std::string& profilePath) {
  core_.Callbacks() = ScriptedHost::Callbacks();
  const char* title = core_.SetProName(host_.MakeString(profilePath));
  const std::string titleText = title == nullptr ? "" : title;
  InitControl();
  return titleText;
}

void NativeModule::InitControl() {
  core_.InitControl(host_.HostBlock1(), host_.HostBlock2(), host_.HostBlock3(), hostView_);
  core_.PostInitControl();
}

template <typename F>
void NativeModule::Deliver(F&& message) {
  const LinkKeeper::Entry entry(core_.Links());
  if (PandrelWin* link = Link()) message(*link);
}

// The timer runs only once discovery started it, as a real window's would.
void NativeModule::Timer() {
  if (site_.timerStarts > 0) Deliver([](PandrelWin& link) { link.OnTimer(); });
}

// Windows notifies only a window registered for HID device interfaces.
void NativeModule::DeviceChange(unsigned event, const void* data) {
  if (site_.registered) Deliver([event, data](PandrelWin& link) { link.OnDeviceChange(event, data); });
}

void NativeModule::Suspend() {
  Deliver([](PandrelWin& link) { link.OnSuspend(); });
}

void NativeModule::Resume() {
  Deliver([](PandrelWin& link) { link.OnResume(); });
}

}  // namespace quenta::sim
