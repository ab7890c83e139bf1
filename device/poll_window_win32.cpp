#include "device/poll_window_win32.h"

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

PollWindow::PollWindow() : hid_(CreateWin32HidSystem()), link_(std::make_unique<PandrelWin>(*hid_, *this)) {}

PollWindow::~PollWindow() {
  link_.reset();  // closes the pendant handles first
  if (notification_ != nullptr) UnregisterDeviceNotification(notification_);
  if (hwnd_ != nullptr) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);  // ends the poll timer with the window
  }
}

bool PollWindow::Create(HWND parent, HINSTANCE module) {
  if (!RegisterWindowClass(module)) return false;
  hwnd_ = CreateWindowExA(0, kWindowClass, "", WS_CHILD, 0, 0, 10, 10, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), module, nullptr);
  if (hwnd_ == nullptr) return false;
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PollWindow::WindowProc));
  return true;
}

void PollWindow::StartPollTimer() {
  if (hwnd_ != nullptr) SetTimer(hwnd_, kPollTimerId, kPollPeriodMs, nullptr);
}

void PollWindow::RegisterForDeviceNotifications(const HidGuid& classGuid) {
  if (hwnd_ == nullptr || notification_ != nullptr) return;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(&filter.dbcc_classguid, classGuid.bytes, sizeof filter.dbcc_classguid);
  notification_ = RegisterDeviceNotificationA(hwnd_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void PollWindow::Destroy(PollWindow* window) {
  if (window == nullptr) return;
  window->link_->Stop();
  if (window->running_ == 0) {
    delete window;
    return;
  }
  window->destroyPending_ = true;
  if (window->hwnd_ != nullptr) KillTimer(window->hwnd_, kPollTimerId);
}

LRESULT CALLBACK PollWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PollWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  ++self->running_;
  const LRESULT result = self->Dispatch(hwnd, message, wParam, lParam);
  if (--self->running_ == 0 && self->destroyPending_) delete self;
  return result;
}

LRESULT PollWindow::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // No exception may unwind into the system's message dispatch.
  try {
    if (message == WM_TIMER) {
      link_->OnTimer();
    } else if (message == WM_DEVICECHANGE) {
      return link_->OnDeviceChange(static_cast<unsigned>(wParam), reinterpret_cast<const void*>(lParam)) ? TRUE : FALSE;
    } else if (message == WM_NCDESTROY) {
      // The host destroyed its view, and this child with it: the object lives
      // on without a window until StopPlug.
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
    }
  } catch (...) {
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace quenta
