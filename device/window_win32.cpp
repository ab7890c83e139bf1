#include "device/window_win32.h"

#include <dbt.h>

#include <cstring>

#include "device/hid_system_win32.h"

namespace quenta {

namespace {

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32, "notification filter record size");

constexpr char kWindowClass[] = "QuentaPandrelWin";
constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollPeriodMs = 25;

bool RegisterWindowClass(HINSTANCE module) {
  WNDCLASSA existing;
  if (GetClassInfoA(module, kWindowClass, &existing)) return true;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;  // replaced per window once its object is attached
  wc.hInstance = module;
  wc.lpszClassName = kWindowClass;
  return RegisterClassA(&wc) != 0;
}

}  // namespace

PandrelWindow::PandrelWindow() : hid_(CreateWin32HidSystem()), link_(std::make_unique<PandrelWin>(*hid_, *this)) {}

PandrelWindow::~PandrelWindow() {
  link_.reset();  // closes the pendant handles first
  if (notification_ != nullptr) UnregisterDeviceNotification(notification_);
  if (hwnd_ != nullptr) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);  // ends the poll timer with the window
  }
}

bool PandrelWindow::Create(HWND parent, HINSTANCE module) {
  if (!RegisterWindowClass(module)) return false;
  hwnd_ = CreateWindowExA(0, kWindowClass, "", WS_CHILD, 0, 0, 10, 10, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), module, nullptr);
  if (hwnd_ == nullptr) return false;
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PandrelWindow::WindowProc));
  return true;
}

void PandrelWindow::StartPollTimer() {
  if (hwnd_ != nullptr) SetTimer(hwnd_, kPollTimerId, kPollPeriodMs, nullptr);
}

void PandrelWindow::RegisterForDeviceNotifications(const HidGuid& classGuid) {
  if (hwnd_ == nullptr || notification_ != nullptr) return;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(&filter.dbcc_classguid, classGuid.bytes, sizeof filter.dbcc_classguid);
  notification_ = RegisterDeviceNotificationA(hwnd_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

LRESULT CALLBACK PandrelWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PandrelWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  // No exception may unwind into the system's message dispatch.
  try {
    if (self != nullptr && message == WM_TIMER) {
      self->link_->OnTimer();
    } else if (self != nullptr && message == WM_DEVICECHANGE) {
      return self->link_->OnDeviceChange(static_cast<unsigned>(wParam), reinterpret_cast<const void*>(lParam)) ? TRUE
                                                                                                                : FALSE;
    }
  } catch (...) {
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace quenta
