// Shared set-up of the harness tests: a scripted host, the real DLL loaded
// afresh for each test, and a profile file of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "sim/scripted_host.h"
#include "tests/wine/wine_driver.h"

namespace quenta::sim {
inline void PrintTo(const HostCall& call, std::ostream* out) { *out << FormatCall(call); }
}  // namespace quenta::sim

namespace quenta::wine {

class WinePluginTest : public ::testing::Test {
 protected:
  WinePluginTest() {
    host.MakeCurrent();
    host.SetObserver([this](const std::string&, bool) { ++hostCallbacks; });
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    static int counter = 0;
    profilePath = std::string(folder) + "quenta-wine-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(++counter) + ".xml";
    driver = std::make_unique<WineDriver>(host);
  }
  ~WinePluginTest() override {
    driver.reset();
    DeleteFileA(profilePath.c_str());
  }

  std::string Start() { return driver->Start(profilePath); }
  // One poll of a pendant that reports `report` once in the poll period.
  void Poll(const InputReport& report) {
    driver->SendReports(report, 1);
    driver->Poll();
  }
  std::vector<sim::HostCall> Calls() {
    host.FlushStatus();
    return host.TakeCalls();
  }
  static std::vector<sim::HostCall> DoButtons(std::initializer_list<int> codes) {
    std::vector<sim::HostCall> calls;
    for (int code : codes) calls.push_back(sim::HostCall::DoButton(code));
    return calls;
  }
  static InputReport Pressed(std::initializer_list<int> bits) {
    InputReport report{};
    for (int bit : bits) report[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(1u << (bit % 8));
    return report;
  }

  sim::ScriptedHost host;  // outlives the driver
  std::unique_ptr<WineDriver> driver;
  int hostCallbacks = 0;  // every callback the plug-in made, reads included
  std::string profilePath;
};

// The E-stop button; with LED 800 off its press alone sends DoButton 1021.
constexpr int kEStopBit = 9;

}  // namespace quenta::wine
