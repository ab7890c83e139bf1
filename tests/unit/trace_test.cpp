// The lines a support engineer reads when the pendant "stopped working"
// inside the host: one per event the plug-in keeps from the operator, never
// one per poll.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sim/native_module.h"
#include "tests/support/temp_folder.h"

namespace quenta {
namespace {

TEST(TraceTest, EachSilentFailureLeavesOneLineAndPollsAddNone) {
  sim::ScriptedHost host;
  std::vector<std::string> lines;
  sim::NativeModule module(host, [&lines](const std::string& line) { lines.push_back(line); });
  VirtualHidSystem& hid = module.Hid();
  TempFolder folder;
  const std::string profile = folder.File("Mill.xml");
  std::string pendant;
  const auto polls = [&module](int count) {
    for (int i = 0; i < count; ++i) module.Timer();
  };
  const auto removal = [&module](const std::string& path) {
    const auto record = DeviceInterfaceBroadcast(path);
    module.DeviceChange(0x8004, record.data());
  };
  struct Step {
    const char* event;
    std::function<void()> act;
    std::vector<std::string> lines;
  };
  const Step steps[] = {
      {"a start without a pendant", [&] { module.Start(profile); },
       {"Quenta: no pendant found; waiting for one to be plugged in"}},
      {"polls without a pendant", [&] { polls(50); }, {}},
      {"the pendant plugged in",
       [&] {
         pendant = hid.AddPendant().path;
         module.DeviceChange(0x8000, nullptr);
       },
       {"Quenta: pendant found again at " + std::string("\\\\?\\hid#vid_04d8&pid_fceb#1")}},
      {"reads that fail, then the loss, then tries to open it again",
       [&] {
         hid.SetFailing(pendant, true);
         polls(90);
       },
       {"Quenta: pendant reads fail: ReadFile error 31",
        "Quenta: pendant lost after 8 failing poll cycles; opening it again every 40 cycles"}},
      {"working again at a try",
       [&] {
         hid.SetFailing(pendant, false);
         polls(40);
         hid.Send(pendant, InputReport{});
         polls(1);
       },
       {"Quenta: pendant reads again"}},
      {"the cable pulled", [&] { hid.Unplug(pendant); removal(pendant); }, {"Quenta: pendant removed"}},
      {"an arrival whose open is refused",
       [&] {
         hid.Replug(pendant);
         hid.failOpens = true;
         module.DeviceChange(0x8000, nullptr);
         module.DeviceChange(0x8000, nullptr);
         polls(10);
       },
       {"Quenta: pendant \\\\?\\hid#vid_04d8&pid_fceb#1 did not open: in use by another program (error 0)"}},
      {"opened at last, then gone without a notice",
       [&] {
         hid.failOpens = false;
         module.DeviceChange(0x8000, nullptr);
         hid.Unplug(pendant);
         polls(5);
       },
       {"Quenta: pendant found again at \\\\?\\hid#vid_04d8&pid_fceb#1", "Quenta: pendant gone: ReadFile error 1167"}},
      {"the computer sleeps and wakes without it",
       [&] {
         module.Suspend();
         module.Resume();
       },
       {"Quenta: the computer goes to sleep: the pendant is closed", "Quenta: the computer woke: no pendant yet"}},
      {"a profile whose folder is gone at Config",
       [&] {
         std::filesystem::remove_all(folder.Path());
         module.Core().Config([](PendantSettings&) {});
       },
       {"Quenta: the profile \"" + profile + "\" was missing or unreadable: the dialog shows the settings in use",
        "Quenta: the profile \"" + profile + "\" was not saved: the settings stay in use until the next save"}},
  };
  for (const Step& step : steps) {
    lines.clear();
    step.act();
    EXPECT_EQ(lines, step.lines) << step.event;
  }
  EXPECT_EQ(lines.size(), 2u);
  module.Core().TellCaught("StopPlug", "bad_alloc");
  EXPECT_EQ(lines.back(), "Quenta: StopPlug failed: bad_alloc");
}

}  // namespace
}  // namespace quenta
