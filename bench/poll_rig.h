// The plug-in with a connected virtual pendant and host callbacks that do
// nothing: the cost measured is the plug-in's own work per poll cycle.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "device/pandrel_win.h"
#include "plugin/module_state.h"
#include "sim/virtual_hid.h"

namespace quenta::bench {

inline void InstallIdleHost() {
  ResetModuleState();
  Host.DoButton = [](short) {};
  Host.SetDRO = [](int, double) {};
  Host.GetDRO = [](int) { return 50.0; };
  Host.GetLED = [](int) { return false; };
  Host.SetLED = [](int, bool) {};
  Host.Code = [](const char*) {};
}

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
  VirtualHidSystem hid;
  VirtualLinkWindow window;
  PandrelWin link{hid, window};
  std::string path;
  InputReport report{};

  PollRig() {
    InstallIdleHost();
    path = hid.AddPendant().path;
    link.FindPendant();
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
    link.OnTimer();
    // The virtual pendant keeps every written report; drop them now and then.
    if (hid.written.size() > 4096) hid.written.clear();
  }
};

}  // namespace quenta::bench
