#include "device/poll_window_win32.h"

#include <dbt.h>

#include <cstring>
#include <exception>
#include <string>

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

PollWindow::PollWindow(LinkKeeper& keeper, LinkTrace trace)
    : keeper_(keeper), trace_(std::move(trace)), hid_(CreateWin32HidSystem()) {}

// The keeper frees the link first; the windows go without a word to it.
PollWindow::~PollWindow() {
  link_ = nullptr;
  if (notification_ != nullptr) UnregisterDeviceNotification(notification_);
  for (HWND window : {child_, own_}) {
    if (window == nullptr) continue;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);  // ends the poll timer with the window
  }
}

bool PollWindow::Create(HWND view, HINSTANCE module) {
  if (!RegisterWindowClass(module)) return false;
  // Hidden and top-level, not message-only: only such a window hears the power broadcasts.
  own_ = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
  if (view != nullptr && IsWindow(view))
    child_ = CreateWindowExA(0, kWindowClass, "", WS_CHILD, 0, 0, 10, 10, view,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), module, nullptr);
  for (HWND window : {own_, child_}) {
    if (window == nullptr) continue;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PollWindow::WindowProc));
  }
  poll_ = child_ != nullptr ? child_ : own_;
  return poll_ != nullptr;
}

void PollWindow::StartPollTimer() {
  timerStarted_ = true;
  if (poll_ != nullptr) SetTimer(poll_, kPollTimerId, kPollPeriodMs, nullptr);
}

void PollWindow::RegisterForDeviceNotifications(const HidGuid& classGuid) {
  classGuid_ = classGuid;
  registered_ = true;
  Register(poll_);
}

void PollWindow::Register(HWND window) {
  if (notification_ != nullptr) UnregisterDeviceNotification(notification_);
  notification_ = nullptr;
  if (window == nullptr) return;
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(&filter.dbcc_classguid, classGuid_.bytes, sizeof filter.dbcc_classguid);
  notification_ = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void PollWindow::SetExecutionState(std::uint32_t flags) {
  SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags));
}

void PollWindow::MoveToOwnWindow() {
  child_ = nullptr;
  if (poll_ == own_) return;
  poll_ = own_;
  if (registered_) Register(poll_);
  if (timerStarted_ && poll_ != nullptr) SetTimer(poll_, kPollTimerId, kPollPeriodMs, nullptr);
}

LRESULT CALLBACK PollWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PollWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  // Dispatch may end with this object freed (a StopPlug inside the message):
  // nothing of it is used after. No exception may unwind into the system's
  // message dispatch.
  const LinkTrace trace = self->trace_;
  try {
    return self->Dispatch(hwnd, message, wParam, lParam);
  } catch (const std::exception& error) {
    if (trace) trace(std::string("a window message failed: ") + error.what());
  } catch (...) {
    if (trace) trace("a window message failed");
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT PollWindow::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER: {
      const LinkKeeper::Entry entry(keeper_);
      if (link_ != nullptr) link_->OnTimer();
      return 0;
    }
    case WM_DEVICECHANGE: {
      const LinkKeeper::Entry entry(keeper_);
      if (link_ != nullptr) link_->OnDeviceChange(static_cast<unsigned>(wParam), reinterpret_cast<const void*>(lParam));
      return TRUE;
    }
    case WM_POWERBROADCAST: {
      const LinkKeeper::Entry entry(keeper_);
      if (link_ != nullptr && wParam == PBT_APMSUSPEND) link_->OnSuspend();
      // Windows sends this one at every wake, whether or not a user is there.
      if (link_ != nullptr && wParam == PBT_APMRESUMEAUTOMATIC) link_->OnResume();
      return TRUE;
    }
    case WM_DESTROY:
      if (hwnd == child_) {
        // The host destroys its view, and this child with it.
        const LinkKeeper::Entry entry(keeper_);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        MoveToOwnWindow();
        if (link_ != nullptr) link_->OnWindowLost();
      }
      return DefWindowProcA(hwnd, message, wParam, lParam);
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace quenta
