// The plug-in's calls across the Win32 boundary, seen from the test host.
// A few entries of the loaded DLL's import table are pointed at recorders
// here, which call the real functions: what SetTimer, the waits and the
// notification registration are called with is then known exactly, without
// timing anything. The recorders also play the HID driver's part for a
// device that was pulled out: a pipe whose server has gone fails the plug-in's
// reads and writes with ERROR_DEVICE_NOT_CONNECTED, as a removed HID device's
// handle does, and for a device set failing (present, but stuck or on a
// failing cable) they fail every read and write with ERROR_GEN_FAILURE.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quenta::wine {

struct TimerCall {
  HWND window;
  UINT_PTR id;
  UINT periodMs;
};

struct WaitCall {
  HANDLE handle;
  DWORD timeoutMs;
};

// A file handle the plug-in opened (with its access) or closed, in order.
struct HandleEvent {
  bool opened;
  HANDLE handle;
  DWORD access;
};

class ImportWatch {
 public:
  // Watches `module` until destruction, which restores its imports. One at a time.
  explicit ImportWatch(HMODULE module);
  ~ImportWatch();
  ImportWatch(const ImportWatch&) = delete;
  ImportWatch& operator=(const ImportWatch&) = delete;

  // Every entry could be patched (the DLL imports all the watched functions
  // but CancelIo, which it should not use at all).
  bool Complete() const { return complete_; }

  // The window registered for HID device-interface notifications with the
  // filter Windows needs (size 32, type 5, the HID class) and not
  // unregistered since; null when there is none.
  HWND HidNotificationWindow() const;
  // Registrations refused for a wrong filter or flags.
  int BadRegistrations() const { return badRegistrations_; }

  const std::vector<TimerCall>& Timers() const { return timers_; }
  // The window of the plug-in's latest SetTimer while it exists, or null.
  HWND TimerWindow() const;
  // What the plug-in last asked of SetThreadExecutionState: whether its last
  // continuous request keeps the system from idle sleep, and whether it reset
  // the idle timers since the previous TakeTouched.
  bool KeptAwake() const { return keptAwake_; }
  bool TakeTouched() { return std::exchange(touched_, false); }
  // The handles open now hang from now on, as after a wake that reset the
  // device under them: reads never complete, writes never end, cancels do nothing.
  void MakeOpenHandlesStale();
  // From now on the plug-in's reads and writes on handles it opened to this
  // path fail with ERROR_GEN_FAILURE (or work again).
  void SetFailing(const std::string& path, bool failing);
  std::vector<HandleEvent>& HandleEvents() { return handleEvents_; }
  // Cancels of all of a handle's I/O (CancelIo, or CancelIoEx without a record)
  // rather than of one overlapped record of the caller's.
  int WholeHandleCancels() const { return wholeHandleCancels_; }
  // Runs once, just before the plug-in's next cancel reaches the system: the
  // moment a report may complete the read being cancelled.
  void BeforeNextCancel(std::function<void()> action) { beforeCancel_ = std::move(action); }
  // From now on cancels reach no I/O, as when CancelIoEx lets an operation run on to completion.
  void IgnoreCancels(bool ignore) { ignoreCancels_ = ignore; }
  // WriteFile calls of the plug-in so far.
  int WriteCalls() const { return writeCalls_; }
  // Waits with a time-out on handles, in order; cleared by the caller at will.
  std::vector<WaitCall>& Waits() { return waits_; }

 private:
  struct Registration {
    HDEVNOTIFY handle;
    HWND window;
  };
  struct Patch {
    void** slot;
    void* original;
  };
  friend struct ImportRecorders;

  void* PatchImport(const char* dll, const char* function, void* recorder);
  bool Failing(HANDLE file) const;
  bool Stale(HANDLE file) const { return stale_.count(file) != 0; }

  HMODULE module_;
  bool complete_ = true;
  std::vector<Patch> patches_;
  std::vector<Registration> registrations_;
  int badRegistrations_ = 0;
  std::vector<TimerCall> timers_;
  std::vector<WaitCall> waits_;
  std::map<HANDLE, std::string> opened_;  // the path each handle the plug-in opened names
  std::set<std::string> failing_;
  std::set<HANDLE> stale_;
  bool keptAwake_ = false;
  bool ignoreCancels_ = false;
  int writeCalls_ = 0;
  bool touched_ = false;
  std::vector<HandleEvent> handleEvents_;
  int wholeHandleCancels_ = 0;
  std::function<void()> beforeCancel_;
};

}  // namespace quenta::wine
