// QuentaProbe.exe: the probe over the plug-in's own Win32 HID layer, with
// the system's clock and Ctrl+C.
#include <windows.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "device/hid_system_win32.h"
#include "probe/probe_run.h"

namespace {

std::atomic<bool> stopRequested{false};
// Set when the run has ended, its last report (everything off after --leds) written.
HANDLE runEnded = nullptr;
// Windows ends a process whose console window closes five seconds after the signal.
constexpr DWORD kCloseWaitMs = 4000;

// Runs on a thread of its own: the probe notices the request within its next
// round. When the console window closes (or the user logs off), Windows ends
// the process as soon as this returns, so it waits for the run to end first:
// otherwise a lit LED, the E-stop's among them, would stay lit.
BOOL WINAPI OnConsoleControl(DWORD type) {
  stopRequested = true;
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(runEnded, kCloseWaitMs);
  return TRUE;
}

class SystemClock : public quenta::probe::ProbeClock {
 public:
  std::int64_t NowMs() override { return static_cast<std::int64_t>(GetTickCount64()); }
  void Sleep(unsigned ms) override { ::Sleep(ms); }
};

}  // namespace

int main(int argc, char** argv) {
  runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto hid = quenta::CreateWin32HidSystem();
  SystemClock clock;
  const int code = quenta::probe::RunProbe(args, *hid, std::cout, clock, [] { return stopRequested.load(); });
  std::cout.flush();
  SetEvent(runEnded);
  return code;
}
