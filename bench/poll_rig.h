// The plug-in with a connected virtual pendant and the scripted host the
// tests use: the cost measured is the plug-in's work per poll cycle and the
// host double's recording of its calls.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "device/pendant_link.h"
#include "sim/native_module.h"

namespace quenta::bench {

// Every DRO the plug-in reads answers 50; the recorded calls are dropped now and then.
struct BenchHost {
  sim::ScriptedHost host;
  BenchHost() {
    host.MakeCurrent();
    for (int dro : {3, 828, 821, 74}) host.SetDro(dro, 50.0);
  }
  void DropCalls() { host.TakeCalls(); }
};

inline std::uint32_t Bits(std::initializer_list<int> bits) {
  std::uint32_t word = 0;
  for (int bit : bits) word |= 1u << bit;
  return word;
}

// Two reports in turn: each cycle starts three jogs and ends three others,
// steps two scale DROs, and fires a chord or the screen button.
constexpr int kBusyTurns = 2;
inline std::uint32_t BusyReport(int turn) {
  return turn == 0 ? Bits({8, 10, 13, 15, 20, 23, 28}) : Bits({11, 12, 14, 21, 22, 27});
}

// A pendant that reports once per poll period.
struct PollRig {
  BenchHost host;
  sim::NativeModule module{host.host};
  VirtualHidSystem& hid = module.Hid();
  std::string path;
  InputReport report{};

  PollRig() {
    path = hid.AddPendant().path;
    module.Start("");
  }
  void SetButtons(std::uint32_t word) {
    for (int i = 0; i < 4; ++i) report[i] = static_cast<std::uint8_t>(word >> (8 * i));
  }
  // Busy cycles run in step jog mode, where every press jogs at once.
  void EnterStepJogMode() {
    SetButtons(Bits({19}));
    Cycle();
  }
  void Cycle() {
    hid.Send(path, report);
    module.Timer();
    // The virtual pendant and the host keep what they got; drop it now and then.
    if (hid.written.size() > 4096) {
      hid.written.clear();
      host.DropCalls();
    }
  }
};

}  // namespace quenta::bench
