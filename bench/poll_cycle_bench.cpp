// The cost of one poll cycle through the link, the control logic and the
// output report, with host callbacks that do nothing.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "device/pandrel_win.h"
#include "plugin/hold_ticks.h"
#include "plugin/module_state.h"
#include "sim/virtual_hid.h"

namespace quenta {
namespace {

void InstallIdleHost() {
  ResetModuleState();
  Host.DoButton = [](short) {};
  Host.SetDRO = [](int, double) {};
  Host.GetDRO = [](int) { return 50.0; };
  Host.GetLED = [](int) { return false; };
  Host.SetLED = [](int, bool) {};
  Host.Code = [](const char*) {};
}

void SetButtons(VirtualHidSystem& hid, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) hid.report[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

std::uint32_t Bits(std::initializer_list<int> bits) {
  std::uint32_t word = 0;
  for (int bit : bits) word |= 1u << bit;
  return word;
}

struct Rig {
  VirtualHidSystem hid;
  VirtualLinkWindow window;
  PandrelWin link{hid, window};

  Rig() {
    InstallIdleHost();
    hid.AddPendant();
    link.FindPendant();
  }
  void Cycle() {
    link.OnTimer();
    // The virtual pendant keeps every written report; drop them now and then.
    if (hid.written.size() > 4096) hid.written.clear();
  }
};

// Step jog mode, then two reports in turn: each cycle starts three jogs and
// ends three others, steps two scale DROs, and fires a chord or the screen button.
void BM_BusyPollCycle(benchmark::State& state) {
  Rig rig;
  SetButtons(rig.hid, Bits({19}));
  rig.Cycle();
  const std::uint32_t reports[2] = {Bits({8, 10, 13, 15, 20, 23, 28}), Bits({11, 12, 14, 21, 22, 27})};
  int turn = 0;
  for (auto _ : state) {
    SetButtons(rig.hid, reports[turn]);
    turn ^= 1;
    rig.Cycle();
  }
}
BENCHMARK(BM_BusyPollCycle);

void BM_IdlePollCycle(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) rig.Cycle();
}
BENCHMARK(BM_IdlePollCycle);

// The control logic's own share of a busy cycle.
void BM_BusyControlLogic(benchmark::State& state) {
  InstallIdleHost();
  ControlLogic logic;
  logic.RunPoll(ButtonStates(Bits({19})));
  const ButtonStates polls[2] = {ButtonStates(Bits({8, 10, 13, 15, 20, 23, 28})),
                                 ButtonStates(Bits({11, 12, 14, 21, 22, 27}))};
  int turn = 0;
  for (auto _ : state) {
    logic.RunPoll(polls[turn]);
    turn ^= 1;
    benchmark::DoNotOptimize(logic.JogIndicator());
  }
}
BENCHMARK(BM_BusyControlLogic);

}  // namespace
}  // namespace quenta
