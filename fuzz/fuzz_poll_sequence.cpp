// Bytes as a whole pendant session: raw input reports streamed at any rate or
// sent on change, polls, ticks, stalls, unplug with or without notice,
// replug, LED and DRO values and settings, all into the real link and control
// logic, with the scripted host recording. Besides crashes and sanitizer
// findings it looks for a status-line string freed wrongly and for breaches
// of jog safety: an axis still jogging after two polls that could see every
// button up, or an unplug mid-jog without DoButton 1021 while LED 800 is off.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/pendant_settings.h"
#include "device/pandrel_win.h"
#include "fuzz/fuzz_input.h"
#include "plugin/hold_ticks.h"
#include "plugin/module_state.h"
#include "sim/scripted_host.h"
#include "sim/virtual_hid.h"

namespace {

using quenta::fuzz::FuzzInput;

const int kLeds[] = {14, 15, 57, 800, 804, 805};
constexpr std::uint32_t kButtonMask = 0x1FFFFF00u;  // bits 8 to 28

// Which axes the host was told to jog, from the start and end codes.
struct JogWatch {
  bool jogging[4] = {};
  bool sent1021 = false;

  bool Any() const { return jogging[0] || jogging[1] || jogging[2] || jogging[3]; }
  void Take(quenta::sim::ScriptedHost& host) {
    for (const quenta::sim::HostCall& call : host.TakeCalls()) {
      if (call.kind != quenta::sim::HostCall::Kind::DoButton) continue;
      if (call.number >= 307 && call.number <= 314) jogging[(call.number - 307) / 2] = true;
      if (call.number >= 334 && call.number <= 337) jogging[call.number - 334] = false;
      sent1021 = sent1021 || call.number == 1021;
    }
  }
};

// An OEM function key may itself send a jog code, which no button ends.
bool JogCodesConfigured() {
  const quenta::PendantSettings& s = quenta::Settings;
  for (std::int16_t code : {s.OEM1, s.OEM2, s.OEM3, s.OEM4})
    if (code >= 307 && code <= 314) return true;
  return false;
}

void Breach(const char* what) {
  std::fprintf(stderr, "jog safety: %s\n", what);
  std::abort();
}
const int kDros[] = {3, 828, 821, 74};

void ChangeSetting(FuzzInput& in) {
  quenta::PendantSettings& s = quenta::Settings;
  std::int16_t* numbers[] = {&s.BUTTON[0], &s.BUTTON[1], &s.Macro1,     &s.Macro2,     &s.Macro3,    &s.Macro4,
                             &s.OEM1,      &s.OEM2,      &s.OEM3,       &s.OEM4,       &s.ScreenSel1, &s.ScreenSel2,
                             &s.ScreenSel3};
  const std::uint8_t which = in.Byte();
  if (which < 13 * 16) {
    *numbers[which % 13] = static_cast<std::int16_t>(in.Word());
  } else {
    bool* flags[] = {&s.Xreverse, &s.Yreverse, &s.Zreverse};
    *flags[which % 3] = (in.Byte() & 1) != 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  quenta::ResetModuleState();
  // One host for the whole process: its block holds the status line at an
  // offset past a megabyte, too costly to build at every run.
  static quenta::sim::ScriptedHost host;
  for (int led : kLeds) host.SetLed(led, false);
  for (int dro : kDros) host.SetDro(dro, 0.0);
  host.MakeCurrent();
  quenta::Host = quenta::sim::ScriptedHost::Callbacks();
  quenta::HostBlock3 = host.HostBlock3();

  quenta::VirtualHidSystem hid;
  const std::string path = hid.AddPendant().path;
  quenta::VirtualLinkWindow window;
  {
    quenta::PandrelWin link(hid, window);
    link.FindPendant();
    JogWatch watch;
    quenta::InputReport report{};
    int rate = 1;  // reports per poll period; 0: the pendant reports only what case 5 sends
    int stalls = 0;
    bool seen = true;  // the pendant's state reached a handle the plug-in had open
    int cleanIdlePolls = 0;
    int steps = 0;
    auto send = [&](int count) {
      if (count == 0 || !hid.Find(path)->present) return;
      hid.Send(path, report, count);
      seen = seen || link.Connected();
    };
    while (!in.Empty() && ++steps < 4096) {
      switch (in.Byte() % 14) {
        case 0:
          for (std::uint8_t& byte : report) byte = in.Byte();
          seen = false;
          cleanIdlePolls = 0;  // a new state: its own polls count from here
          break;
        case 1:
        case 2:
          for (int n = in.Byte() % 4 + 1; n > 0; --n) {
            const bool stalled = stalls > 0;
            if (stalled)
              --stalls;
            else
              send(rate);
            link.OnTimer();
            watch.Take(host);
            const bool idle = (quenta::ButtonWord(report) & kButtonMask) == 0;
            cleanIdlePolls = seen && idle && link.Connected() ? cleanIdlePolls + 1 : 0;
            if (cleanIdlePolls >= 2 && watch.Any() && !JogCodesConfigured())
              Breach("an axis jogs after two polls that could see every button up");
          }
          break;
        case 3:
          for (int n = in.Byte() % 32; n > 0; --n) quenta::AdvanceHoldTicks();
          break;
        case 4: stalls += in.Byte() % 4; break;
        case 5: send(in.Byte() % 40); break;
        case 6:
        case 12: {
          watch.Take(host);
          const bool wasJogging = watch.Any() && link.Connected();
          const bool eStopLit = host.GetLED(800);
          hid.Unplug(path);
          seen = false;
          watch.sent1021 = false;
          if (in.Byte() & 1) {
            const auto record = quenta::DeviceInterfaceBroadcast(path);
            link.OnDeviceChange(quenta::kDeviceRemoveComplete, record.data());
          } else {
            link.OnTimer();  // the next poll finds the handle dead
          }
          watch.Take(host);
          if (wasJogging && !eStopLit && !watch.sent1021) Breach("an unplug while an axis jogs sends no 1021");
          cleanIdlePolls = 0;
          break;
        }
        case 7:
          hid.Replug(path);
          link.OnDeviceChange(quenta::kDeviceArrival, nullptr);
          break;
        case 8: host.SetLed(kLeds[in.Byte() % 6], (in.Byte() & 1) != 0); break;
        case 9: {
          const int dro = kDros[in.Byte() % 4];
          host.SetDro(dro, in.Double());
          break;
        }
        case 10: ChangeSetting(in); break;
        case 11: {
          // A broadcast record of any content, sized by its own size field as Windows sends it.
          std::vector<unsigned char> record(in.Byte() % 64 + 4);
          for (unsigned char& byte : record) byte = in.Byte();
          const auto recordSize = static_cast<std::uint32_t>(record.size());
          for (int i = 0; i < 4; ++i) record[i] = static_cast<unsigned char>(recordSize >> (8 * i));
          link.OnDeviceChange(in.Byte() & 1 ? quenta::kDeviceRemoveComplete : quenta::kDeviceArrival, record.data());
          break;
        }
        case 13: rate = in.Byte() % 33; break;
      }
      watch.Take(host);
    }
  }
  if (hid.openHandles != 0 || host.Strings().badFrees != 0) std::abort();
  quenta::ResetModuleState();
  return 0;
}
