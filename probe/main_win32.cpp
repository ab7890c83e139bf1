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

// Runs on a thread of its own: the probe notices the request within its next round.
BOOL WINAPI OnConsoleControl(DWORD) {
  stopRequested = true;
  return TRUE;
}

class SystemClock : public quenta::probe::ProbeClock {
 public:
  std::int64_t NowMs() override { return static_cast<std::int64_t>(GetTickCount64()); }
  void Sleep(unsigned ms) override { ::Sleep(ms); }
};

}  // namespace

int main(int argc, char** argv) {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto hid = quenta::CreateWin32HidSystem();
  SystemClock clock;
  return quenta::probe::RunProbe(args, *hid, std::cout, clock, [] { return stopRequested.load(); });
}
