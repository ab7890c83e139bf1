// The hidden child window that carries the pendant link: its 25 ms timer and
// device notifications arrive as window messages on the host's UI thread.
#pragma once

#include <windows.h>

#include <memory>

#include "device/hid_system.h"
#include "device/pendant_link.h"

namespace quenta {

class PollWindow : public LinkWindow {
 public:
  PollWindow();
  PollWindow(const PollWindow&) = delete;
  PollWindow& operator=(const PollWindow&) = delete;

  // StopPlug: stops the link (its running jogs end, then it is silent) and
  // deletes the window object now or, when reached from inside one of its own
  // messages (a host call that stops the plug-in), once that message returns.
  static void Destroy(PollWindow* window);
  // WS_CHILD only (never visible), 0,0,10,10 under parent, child id 1.
  bool Create(HWND parent, HINSTANCE module);
  PandrelWin& Link() { return *link_; }

  void StartPollTimer() override;
  void RegisterForDeviceNotifications(const HidGuid& classGuid) override;

 private:
  ~PollWindow() override;
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
