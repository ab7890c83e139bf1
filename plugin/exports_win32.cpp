// The DLL's entry points: plain cdecl functions with undecorated names (see
// Quenta.def). No C++ exception crosses them.
#include <windows.h>

#include <utility>

#include "config/propertiesdlg_win32.h"
#include "device/poll_window_win32.h"
#include "plugin/framework_string.h"
#include "plugin/hold_ticks.h"
#include "plugin/host_view_win32.h"
#include "plugin/lifecycle.h"
#include "plugin/module_instance_win32.h"
#include "plugin/module_state.h"

namespace {

quenta::PollWindow* g_pollWindow = nullptr;

template <typename F>
void Guarded(F&& body) {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace

extern "C" {

void SetDoButton(quenta::DoButtonFn fn) { quenta::Host.DoButton = fn; }
void SetSetDRO(quenta::SetDROFn fn) { quenta::Host.SetDRO = fn; }
void SetGetDRO(quenta::GetDROFn fn) { quenta::Host.GetDRO = fn; }
void SetGetLED(quenta::GetLEDFn fn) { quenta::Host.GetLED = fn; }
void SetSetLED(quenta::SetLEDFn fn) { quenta::Host.SetLED = fn; }
void SetCode(quenta::CodeFn fn) { quenta::Host.Code = fn; }

const char* SetProName(quenta::FrameworkString name) {
  try {
    return quenta::SetProNameCore(name, quenta::ModulePath());
  } catch (...) {
    return "";
  }
}

bool InitControl(void* block1, void* block2, void* block3, void* view) {
  quenta::HostBlock1 = block1;
  quenta::HostBlock2 = block2;
  quenta::HostBlock3 = block3;
  quenta::HostView = view;
  Guarded([&] {
    auto* window = new quenta::PollWindow();
    window->Create(quenta::HostViewWindow(view), quenta::ModuleInstance());
    quenta::PollWindow::Destroy(std::exchange(g_pollWindow, window));
  });
  return true;
}

void PostInitControl() {
  Guarded([] { quenta::PostInitControlCore(g_pollWindow ? &g_pollWindow->Link() : nullptr); });
}

void Update() { quenta::AdvanceHoldTicks(); }

void Config() {
  Guarded([] {
    quenta::ConfigCore([] {
      quenta::RunPropertiesDialog(quenta::ModuleInstance(), quenta::HostRootWindow(quenta::HostView));
    });
  });
}

void StopPlug() {
  Guarded([] { quenta::PollWindow::Destroy(std::exchange(g_pollWindow, nullptr)); });
}

void DoDwell() {}
void Reset() {}
void JogOn() {}
void JogOff() {}
void Purge() {}
void Probe() {}
void Home() {}

}  // extern "C"
