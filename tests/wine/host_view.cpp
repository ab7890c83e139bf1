#include "tests/wine/host_view.h"

#include <dbt.h>

#include <cstring>
#include <vector>

namespace quenta::wine {

namespace {

constexpr char kClassName[] = "QuentaTestHostView";
constexpr std::size_t kWindowHandleSlot = 8;
const GUID kHidClassGuid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

void RegisterViewClass() {
  WNDCLASSA existing;
  if (GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &existing)) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
}

}  // namespace

HostView::HostView() {
  RegisterViewClass();
  hwnd_ = CreateWindowExA(0, kClassName, "Travix", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                          GetModuleHandleA(nullptr), nullptr);
  frameworkObject_[kWindowHandleSlot] = hwnd_;
}

HostView::~HostView() { Destroy(); }

void HostView::Destroy() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

HWND HostView::PluginWindow() const { return hwnd_ == nullptr ? nullptr : GetDlgItem(hwnd_, 1); }

bool HostView::SendTimerTo(HWND plugin) {
  if (plugin == nullptr) return false;
  SendMessageA(plugin, WM_TIMER, 1, 0);
  return true;
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM into) {
  reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
  return TRUE;
}

void HostView::BroadcastPower(WPARAM event) {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows)
    if (IsWindow(window)) SendMessageA(window, WM_POWERBROADCAST, event, 0);
}

bool HostView::SendDeviceChangeTo(HWND plugin, unsigned event, const std::string& path) {
  if (plugin == nullptr) return false;
  std::vector<unsigned char> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1, 0);
  auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.data());
  header->dbcc_size = static_cast<DWORD>(record.size());
  header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  header->dbcc_classguid = kHidClassGuid;
  std::memcpy(header->dbcc_name, path.c_str(), path.size() + 1);
  SendMessageA(plugin, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
  return true;
}

}  // namespace quenta::wine
