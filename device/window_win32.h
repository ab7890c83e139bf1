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
  ~PandrelWindow() override;
  PandrelWindow(const PandrelWindow&) = delete;
  PandrelWindow& operator=(const PandrelWindow&) = delete;

  // WS_CHILD only (never visible), 0,0,10,10 under parent, child id 1.
  bool Create(HWND parent, HINSTANCE module);
  HWND Handle() const { return hwnd_; }
  PandrelWin& Link() { return *link_; }

  void StartPollTimer() override;
  void RegisterForDeviceNotifications(const HidGuid& classGuid) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<HidSystem> hid_;
  std::unique_ptr<PandrelWin> link_;
  HWND hwnd_ = nullptr;
  HDEVNOTIFY notification_ = nullptr;
};

}  // namespace quenta
