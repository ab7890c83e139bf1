// The pendant link's site on Windows: the HID stack, and the windows its
// messages arrive at on the host's UI thread. The poll timer and device
// notifications go to a hidden child of the host's view; a hidden top-level
// window of the plug-in's own hears the power notices (child and message-only
// windows get no broadcasts) and takes over the poll when the host destroys
// its view.
#pragma once

#include <windows.h>

#include <memory>

#include "device/link_keeper.h"
#include "device/link_site.h"

namespace quenta {

class PollWindow : public LinkSite, LinkWindow, SystemIdle {
 public:
  PollWindow(LinkKeeper& keeper, LinkTrace trace);
  ~PollWindow() override;
  PollWindow(const PollWindow&) = delete;
  PollWindow& operator=(const PollWindow&) = delete;

  // The child (WS_CHILD only, never visible, 0,0,10,10 under the view, id 1)
  // and the window of its own. Without a view the poll runs under the latter.
  bool Create(HWND view, HINSTANCE module);

  HidSystem& Hid() override { return *hid_; }
  LinkWindow& Window() override { return *this; }
  SystemIdle& Idle() override { return *this; }
  void Attach(PandrelWin& link) override { link_ = &link; }

 private:
  void StartPollTimer() override;
  void RegisterForDeviceNotifications(const HidGuid& classGuid) override;
  void SetExecutionState(std::uint32_t flags) override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Register(HWND window);
  // The view took the child with it: the poll goes on under the window of our own.
  void MoveToOwnWindow();

  LinkKeeper& keeper_;
  LinkTrace trace_;
  std::unique_ptr<HidSystem> hid_;
  PandrelWin* link_ = nullptr;
  HWND child_ = nullptr;
  HWND own_ = nullptr;
  HWND poll_ = nullptr;  // the one the timer and notifications go to
  HDEVNOTIFY notification_ = nullptr;
  HidGuid classGuid_;
  bool timerStarted_ = false;
  bool registered_ = false;
};

}  // namespace quenta
