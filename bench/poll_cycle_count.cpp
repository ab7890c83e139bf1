// Runs N idle or busy poll cycles and nothing else, for instruction counting
// under callgrind: the difference of two runs divided by the difference of
// their N is the cost of one cycle, free of start-up.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/poll_rig.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "idle") != 0 && std::strcmp(argv[1], "busy") != 0)) {
    std::fprintf(stderr, "usage: %s idle|busy CYCLES\n", argv[0]);
    return 2;
  }
  const bool busy = std::strcmp(argv[1], "busy") == 0;
  const long cycles = std::strtol(argv[2], nullptr, 10);
  quenta::bench::PollRig rig;
  if (busy) rig.EnterStepJogMode();
  for (long i = 0; i < cycles; ++i) {
    if (busy) rig.SetButtons(quenta::bench::BusyReport(static_cast<int>(i % quenta::bench::kBusyTurns)));
    rig.Cycle();
  }
  return 0;
}
