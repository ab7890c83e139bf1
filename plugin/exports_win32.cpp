// The DLL's entry points: plain cdecl functions with undecorated names (see
// Quenta.def), thin callers of the one module core. No C++ exception crosses
// them; one that is caught leaves a trace line for support.
#include <windows.h>

#include <exception>
#include <string>

#include "config/propertiesdlg_win32.h"
#include "device/poll_window_win32.h"
#include "plugin/host_view_win32.h"
#include "plugin/module_core.h"
#include "plugin/module_instance_win32.h"

namespace {

quenta::ModuleCore& Module() {
  // Made at the first export the host calls, once the module's name can be
  // read, and never destroyed: at unload nothing may call the host any more,
  // and StopPlug has freed the link and its windows.
  static quenta::ModuleCore* const core = new quenta::ModuleCore(
      quenta::ModuleStemAnsi(),
      [](void* view, quenta::LinkKeeper& keeper) -> std::unique_ptr<quenta::LinkSite> {
        auto site = std::make_unique<quenta::PollWindow>(keeper, [](const std::string& line) { Module().Tell(line); });
        if (!site->Create(quenta::HostViewWindow(view), quenta::ModuleInstance())) return nullptr;
        return site;
      },
      [](const std::string& line) { OutputDebugStringA((line + "\n").c_str()); });
  return *core;
}

template <typename F>
void Guarded(const char* entryPoint, F&& body) {
  try {
    body();
  } catch (const std::exception& error) {
    Module().TellCaught(entryPoint, error.what());
  } catch (...) {
    Module().TellCaught(entryPoint, "an unknown exception");
  }
}

}  // namespace

extern "C" {

void SetDoButton(quenta::DoButtonFn fn) { Module().Callbacks().DoButton = fn; }
void SetSetDRO(quenta::SetDROFn fn) { Module().Callbacks().SetDRO = fn; }
void SetGetDRO(quenta::GetDROFn fn) { Module().Callbacks().GetDRO = fn; }
void SetGetLED(quenta::GetLEDFn fn) { Module().Callbacks().GetLED = fn; }
void SetSetLED(quenta::SetLEDFn fn) { Module().Callbacks().SetLED = fn; }
void SetCode(quenta::CodeFn fn) { Module().Callbacks().Code = fn; }

const char* SetProName(quenta::FrameworkString name) {
  const char* title = "";
  Guarded("SetProName", [&] { title = Module().SetProName(name); });
  return title;
}

bool InitControl(void* block1, void* block2, void* block3, void* view) {
  Guarded("InitControl", [&] { Module().InitControl(block1, block2, block3, view); });
  return true;
}

void PostInitControl() {
  Guarded("PostInitControl", [] { Module().PostInitControl(); });
}

void Update() { Module().Update(); }

void Config() {
  Guarded("Config", [] {
    quenta::ModuleCore& module = Module();
    module.Config([&module](quenta::PendantSettings& settings) {
      quenta::RunPropertiesDialog(quenta::ModuleInstance(), quenta::HostRootWindow(module.Host().view), module.Name(),
                                  settings);
    });
  });
}

void StopPlug() {
  Guarded("StopPlug", [] { Module().StopPlug(); });
}

void DoDwell() {}
void Reset() {}
void JogOn() {}
void JogOff() {}
void Purge() {}
void Probe() {}
void Home() {}

}  // extern "C"
