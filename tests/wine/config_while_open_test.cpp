// While Config's dialog is open: the host's top-level window owns it and is
// disabled, a second Config returns at once, and the pendant keeps working on
// the plug-in's own poll timer, which the modal loop dispatches.
#include <algorithm>

#include "tests/wine/dialog_user.h"
#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

// The host's window tree: a frame, and inside it the view handed to InitControl.
class HostFrame {
 public:
  HostFrame() {
    frame_ = CreateWindowExA(0, "Static", "Travix", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    view_ = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 600, 400, frame_, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    frameworkObject_[8] = view_;  // where the framework keeps a window object's handle
  }
  ~HostFrame() { DestroyWindow(frame_); }
  HostFrame(const HostFrame&) = delete;
  HostFrame& operator=(const HostFrame&) = delete;

  HWND Frame() const { return frame_; }
  void* FrameworkObject() { return frameworkObject_; }

 private:
  HWND frame_ = nullptr;
  HWND view_ = nullptr;
  void* frameworkObject_[16] = {};
};

BOOL CALLBACK CountConfigDialog(HWND window, LPARAM counted) {
  if (IsWindowVisible(window) && ClassOf(window) == "#32770" && WindowText(window) == "02")
    ++*reinterpret_cast<int*>(counted);
  return TRUE;
}

int OpenConfigDialogs() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountConfigDialog, reinterpret_cast<LPARAM>(&count));
  return count;
}

// Closes a second configuration dialog, should one open, so that a Config
// that fails to return at once fails the test instead of hanging it.
int g_secondDialogs = 0;
void CALLBACK CloseASecondDialog(HWND, UINT, UINT_PTR, DWORD) {
  if (OpenConfigDialogs() < 2) return;
  ++g_secondDialogs;
  PressEscape();
}

TEST_F(WinePluginTest, TheDialogIsOwnedByTheHostsTopLevelWindowAndASecondConfigReturnsAtOnce) {
  HostFrame frame;
  auto& dll = driver->Dll();
  dll->SetProName(host.MakeString(profilePath));
  dll->InitControl(host.HostBlock1(), host.HostBlock2(), host.HostBlock3(), frame.FrameworkObject());
  ASSERT_TRUE(IsWindowEnabled(frame.Frame()));
  g_secondDialogs = 0;
  DialogUser user;
  user.Do([&](HWND dialog) {
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), frame.Frame());
    EXPECT_FALSE(IsWindowEnabled(frame.Frame())) << "the host stays usable behind the dialog";
    const UINT_PTR guard = SetTimer(nullptr, 0, 50, CloseASecondDialog);
    dll->Config();
    KillTimer(nullptr, guard);
    EXPECT_EQ(OpenConfigDialogs(), 1);
    PressEscape();
  });
  EXPECT_TRUE(user.Drive(dll->Config)) << user.Stuck();
  EXPECT_EQ(g_secondDialogs, 0) << "a second Config opened a second dialog";
  EXPECT_TRUE(IsWindowEnabled(frame.Frame()));
  dll->StopPlug();
}

TEST_F(WinePluginTest, ThePendantKeepsWorkingOnThePluginsOwnTimerWhileTheDialogIsOpen) {
  // The host's start-up, leaving the plug-in's poll timer running.
  auto& dll = driver->Dll();
  PipeDevice* pendant = driver->Pendants().front();
  const HostCallbacks callbacks = sim::ScriptedHost::Callbacks();
  dll->SetDoButton(callbacks.DoButton);
  dll->SetSetDRO(callbacks.SetDRO);
  dll->SetGetDRO(callbacks.GetDRO);
  dll->SetGetLED(callbacks.GetLED);
  dll->SetSetLED(callbacks.SetLED);
  dll->SetCode(callbacks.Code);
  dll->SetProName(host.MakeString(profilePath));
  dll->InitControl(host.HostBlock1(), host.HostBlock2(), host.HostBlock3(), driver->View().FrameworkObject());
  dll->PostInitControl();

  std::vector<sim::HostCall> seen;
  auto sawEStop = [&] {
    driver->Bus().Pump();
    for (sim::HostCall& call : host.TakeCalls()) seen.push_back(std::move(call));
    return std::find(seen.begin(), seen.end(), sim::HostCall::DoButton(1021)) != seen.end();
  };
  DialogUser user;
  user.Do([&](HWND) {
        driver->Bus().Pump();
        EXPECT_TRUE(pendant->SendReport(Pressed({kEStopBit})));
      })
      .Then([&](HWND) { return sawEStop(); })
      .Do([&](HWND) {
        driver->Bus().Pump();
        EXPECT_FALSE(driver->TakeWritten().empty()) << "no output report while the dialog was open";
        PressEscape();
      });
  EXPECT_TRUE(user.Drive(dll->Config)) << user.Stuck();
  EXPECT_EQ(seen, std::vector<sim::HostCall>{sim::HostCall::DoButton(1021)});
  dll->StopPlug();
}

}  // namespace
}  // namespace quenta::wine
