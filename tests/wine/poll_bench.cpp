// How long one poll cycle holds the window's thread under Wine: the time
// inside the plug-in's WM_TIMER handling, when one report is ready, when 25
// are queued (a pendant that streams), and when none comes (the read wait
// runs out); and a full backlog (33 reports) found by an ordinary poll beside
// the same found by a timer message inside a host call (a DoButton that runs
// the host's own loop). Beside it, what the harness's pipe pendant alone costs for 25
// reads, since under Wine every read of a named pipe is a round trip to the
// server that a HID read on Windows is not. Also the start-up, from
// SetProName to the end of PostInitControl. Prints microseconds.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "sim/scripted_host.h"
#include "tests/wine/wine_driver.h"

namespace {

constexpr int kCycles = 200;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double MicrosecondsOfOneCycle(quenta::wine::WineDriver& driver, int reportsQueued) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  driver.Bus().Pump();
  for (int i = 0; i < reportsQueued; ++i) driver.Pendants().front()->SendReport({0x00, 0x02, 0, 0, 0, 0, 0, 0});
  LARGE_INTEGER before, after;
  QueryPerformanceCounter(&before);
  driver.View().SendTimer();
  QueryPerformanceCounter(&after);
  driver.TakeWritten();
  return 1e6 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Microseconds(const LARGE_INTEGER& before, const LARGE_INTEGER& after);

// The busy pattern: jogs starting and ending, scale steps, a chord.
void QueueFullBacklog(quenta::wine::PipeDevice& pendant) {
  constexpr int kFullBacklog = 33;  // the driver's queue and the read it completed
  for (int i = 0; i < kFullBacklog; ++i)
    pendant.SendReport(i % 2 == 0 ? std::array<std::uint8_t, 8>{0x00, 0xA5, 0x90, 0x10, 0, 0, 0, 0}
                                  : std::array<std::uint8_t, 8>{0x00, 0x58, 0x60, 0x08, 0, 0, 0, 0});
}

double MicrosecondsOfAFullBacklog(quenta::wine::WineDriver& driver, quenta::sim::ScriptedHost& host, bool insideACall) {
  driver.Bus().Pump();
  quenta::wine::PipeDevice& pendant = *driver.Pendants().front();
  LARGE_INTEGER before{}, after{};
  if (!insideACall) {
    QueueFullBacklog(pendant);
    QueryPerformanceCounter(&before);
    driver.View().SendTimer();
    QueryPerformanceCounter(&after);
  } else {
    bool pumpNext = true;
    host.SetCallHook([&](quenta::sim::HostCallKind kind, int code) {
      if (!pumpNext || kind != quenta::sim::HostCallKind::DoButton || code != 110) return;
      pumpNext = false;
      QueueFullBacklog(pendant);
      QueryPerformanceCounter(&before);
      driver.View().SendTimer();
      QueryPerformanceCounter(&after);
    });
    pendant.SendReport({0x00, 0x01, 0x00, 0x10, 0, 0, 0, 0});  // Shift + 28: DoButton 110
    driver.View().SendTimer();
    host.SetCallHook(nullptr);
  }
  pendant.SendReport({});
  driver.View().SendTimer();
  driver.TakeWritten();
  host.TakeCalls();
  return Microseconds(before, after);
}

double Microseconds(const LARGE_INTEGER& before, const LARGE_INTEGER& after) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return 1e6 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// 25 reports read from a pipe pendant the way the plug-in reads them, with
// nothing done with them: the transport's share of a cycle.
double MicrosecondsOfPipeReads(quenta::wine::PipeDevice& pendant, HANDLE client, HANDLE event, int reports) {
  pendant.Pump();
  for (int i = 0; i < reports; ++i) pendant.SendReport({0x00, 0x02, 0, 0, 0, 0, 0, 0});
  OVERLAPPED io = {};
  io.hEvent = event;
  unsigned char buffer[8];
  LARGE_INTEGER before, after;
  QueryPerformanceCounter(&before);
  DWORD got = 0;
  while (ReadFile(client, buffer, sizeof buffer, &got, &io)) {
  }
  QueryPerformanceCounter(&after);
  CancelIo(client);
  GetOverlappedResult(client, &io, &got, TRUE);
  return Microseconds(before, after);
}

}  // namespace

int main() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string profile = std::string(folder) + "quenta-poll-bench.xml";
  int status = 0;
  {
    quenta::sim::ScriptedHost host;
    host.SetLed(800, true);
    quenta::wine::WineDriver driver(host);
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    driver.Start(profile);
    QueryPerformanceCounter(&after);
    std::printf("wine start-up (the six Set..., SetProName to PostInitControl): %8.1f us\n",
                1e6 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart));
    for (int reportsQueued : {1, 25, 0}) {
      std::vector<double> samples;
      for (int i = 0; i < kCycles; ++i) samples.push_back(MicrosecondsOfOneCycle(driver, reportsQueued));
      const char* what = reportsQueued == 1 ? "report ready:" : reportsQueued == 0 ? "no report:" : "25 queued:";
      std::printf("wine poll cycle, %-16s median %8.1f us, max %8.1f us (%d cycles)\n", what, Median(samples),
                  *std::max_element(samples.begin(), samples.end()), kCycles);
    }
    // Step jog mode, where every press of the busy pattern jogs at once.
    for (const std::array<std::uint8_t, 8>& report : {std::array<std::uint8_t, 8>{0, 0, 0x08}, std::array<std::uint8_t, 8>{}}) {
      driver.Pendants().front()->SendReport(report);
      driver.View().SendTimer();
    }
    for (bool insideACall : {false, true}) {
      std::vector<double> samples;
      for (int i = 0; i < kCycles; ++i) samples.push_back(MicrosecondsOfAFullBacklog(driver, host, insideACall));
      std::printf("wine full backlog, %-22s median %8.1f us, max %8.1f us (%d cycles)\n",
                  insideACall ? "timer inside a call:" : "ordinary poll:", Median(samples),
                  *std::max_element(samples.begin(), samples.end()), kCycles);
    }
    if (driver.Pendants().front()->Clients() != 2) {
      std::printf("the pendant was not connected\n");
      status = 1;
    }
  }
  {
    quenta::wine::PipeHidBus bus;
    quenta::wine::PipeDevice& pendant = bus.AddPendant();
    const HANDLE client = CreateFileA(pendant.Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<double> samples;
    for (int i = 0; i < kCycles; ++i) samples.push_back(MicrosecondsOfPipeReads(pendant, client, event, 25));
    std::printf("wine pipe pendant alone, 25 reads: median %8.1f us, max %8.1f us (%d cycles)\n", Median(samples),
                *std::max_element(samples.begin(), samples.end()), kCycles);
    CloseHandle(event);
    CloseHandle(client);
  }
  DeleteFileA(profile.c_str());
  return status;
}
