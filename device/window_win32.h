// The hidden child window that carries the pendant link: its 25 ms timer and
// device notifications arrive as window messages on the host's UI thread.
#pragma once

#include <windows.h>

#include <memory>

#include "device/hid_system.h"
#include "device/pandrel_win.h"

namespace quenta {

class PandrelWindow : public LinkWindow {
 public:
  PandrelWindow();
  PandrelWindow(const PandrelWindow&) = delete;
  PandrelWindow& operator=(const PandrelWindow&) = delete;

  // Deletes the window object now, or, when reached from inside one of its
  // own messages (a host callback that stops the plug-in), once that message
  // returns: the running poll must not lose its object, and it makes no
  // further host calls.
  static void Destroy(PandrelWindow* window);
  // WS_CHILD only (never visible), 0,0,10,10 under parent, child id 1.
  bool Create(HWND parent, HINSTANCE module);
  HWND Handle() const { return hwnd_; }
  PandrelWin& Link() { return *link_; }

  void StartPollTimer() override;
  void RegisterForDeviceNotifications(const HidGuid& classGuid) override;

 private:
  ~PandrelWindow() override;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<HidSystem> hid_;
  std::unique_ptr<PandrelWin> link_;
  HWND hwnd_ = nullptr;
  HDEVNOTIFY notification_ = nullptr;
  int running_ = 0;  // messages of this window under way (nested when a host callback pumps)
  bool destroyPending_ = false;
};

}  // namespace quenta
