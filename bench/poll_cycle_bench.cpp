// The cost of one poll cycle through the link, the control logic and the
// output report, with the scripted host.
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

#include "bench/poll_rig.h"
#include "plugin/host_connection.h"

namespace quenta::bench {
namespace {

void BM_BusyPollCycle(benchmark::State& state) {
  PollRig rig;
  rig.EnterStepJogMode();
  int turn = 0;
  for (auto _ : state) {
    rig.SetButtons(BusyReport(turn));
    turn = (turn + 1) % kBusyTurns;
    rig.Cycle();
  }
}
BENCHMARK(BM_BusyPollCycle);

void BM_IdlePollCycle(benchmark::State& state) {
  PollRig rig;
  for (auto _ : state) rig.Cycle();
}
BENCHMARK(BM_IdlePollCycle);

// A full driver queue and the report that completed the outstanding read,
// in the busy pattern: what one timer message finds after a long host call.
void QueueFullBacklog(PollRig& rig) {
  for (int i = 0; i < kReportsPerPollMax; ++i) {
    rig.SetButtons(BusyReport(i % kBusyTurns));
    rig.hid.Send(rig.path, rig.report);
  }
}

double SecondsOf(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// An ordinary poll that finds the backlog, beside a timer message that finds
// it while the plug-in is inside a host call (a spindle chord's DoButton
// running the host's own loop): only the timer message is timed.
void BM_OrdinaryPollFindingAFullBacklog(benchmark::State& state) {
  PollRig rig;
  rig.EnterStepJogMode();
  for (auto _ : state) {
    QueueFullBacklog(rig);
    state.SetIterationTime(SecondsOf([&rig] { rig.module.Timer(); }));
    rig.host.DropCalls();
  }
}
BENCHMARK(BM_OrdinaryPollFindingAFullBacklog)->UseManualTime();

void BM_TimerInsideACallFindingAFullBacklog(benchmark::State& state) {
  PollRig rig;
  rig.EnterStepJogMode();
  bool pumpNext = false;
  double seconds = 0;
  rig.host.host.SetCallHook([&](sim::HostCallKind kind, int code) {
    if (!pumpNext || kind != sim::HostCallKind::DoButton || code != 110) return;
    pumpNext = false;
    QueueFullBacklog(rig);
    seconds = SecondsOf([&rig] { rig.module.Timer(); });
  });
  for (auto _ : state) {
    rig.SetButtons(Bits({8, 28}));
    pumpNext = true;
    rig.Cycle();
    rig.SetButtons(0);
    rig.Cycle();
    state.SetIterationTime(seconds);
    rig.host.DropCalls();
  }
}
BENCHMARK(BM_TimerInsideACallFindingAFullBacklog)->UseManualTime();

// The control logic's own share of a busy cycle.
void BM_BusyControlLogic(benchmark::State& state) {
  BenchHost host;
  HostConnection connection;
  connection.callbacks = sim::ScriptedHost::Callbacks();
  PendantSettings settings;
  HoldTicks ticks;
  ControlLogic logic(connection, settings, ticks);
  logic.Act(ButtonStates(Bits({19})));
  int turn = 0;
  for (auto _ : state) {
    logic.Act(ButtonStates(BusyReport(turn)));
    turn = (turn + 1) % kBusyTurns;
    if (turn == 0) host.DropCalls();
  }
}
BENCHMARK(BM_BusyControlLogic);

}  // namespace
}  // namespace quenta::bench
