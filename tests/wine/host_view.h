// The host's view: a real top-level window, and the framework window object
// the plug-in is handed as HostView, which holds the window handle at the
// framework's place (the slot after eight pointers).
#pragma once

#include <windows.h>

#include <string>

namespace quenta::wine {

class HostView {
 public:
  HostView();
  ~HostView();
  HostView(const HostView&) = delete;
  HostView& operator=(const HostView&) = delete;

  HWND Window() const { return hwnd_; }
  // What InitControl receives as its fourth pointer.
  void* FrameworkObject() { return frameworkObject_; }
  // The plug-in's child window (id 1), or null.
  HWND PluginWindow() const;

  // One timer message of the plug-in's child window; false without one.
  bool SendTimer() const { return SendTimerTo(PluginWindow()); }
  // The host closes its view, and the plug-in's child with it.
  void Destroy();

  static bool SendTimerTo(HWND window);
  // WM_DEVICECHANGE (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE) with a
  // device-interface record naming `path`.
  static bool SendDeviceChangeTo(HWND window, unsigned event, const std::string& path);
  // WM_POWERBROADCAST as Windows broadcasts it: to every top-level window of
  // this thread (the plug-in's own among them).
  static void BroadcastPower(WPARAM event);

 private:
  HWND hwnd_ = nullptr;
  void* frameworkObject_[16] = {};
};

}  // namespace quenta::wine
