// The cost of one poll cycle through the link, the control logic and the
// output report, with the scripted host.
#include <benchmark/benchmark.h>

#include "bench/poll_rig.h"

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

// The control logic's own share of a busy cycle.
void BM_BusyControlLogic(benchmark::State& state) {
  BenchHost host;
  ControlLogic logic;
  logic.Act(ButtonStates(Bits({19})));
  int turn = 0;
  for (auto _ : state) {
    logic.Act(ButtonStates(BusyReport(turn)));
    turn = (turn + 1) % kBusyTurns;
    benchmark::DoNotOptimize(logic.JogIndicator());
    if (turn == 0) host.DropCalls();
  }
}
BENCHMARK(BM_BusyControlLogic);

}  // namespace
}  // namespace quenta::bench
