// pendant-sim: runs scenario files against the plug-in, natively by default
// or against the real DLL under Wine.
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "sim/native_driver.h"
#include "sim/scenario_runner.h"
#include "sim/wine_launch.h"

namespace {

const char kUsage[] =
    "usage: pendant-sim [--trace] [--narrate] [--wine] FILE...\n"
    "\n"
    "Runs scenario files against the pendant plug-in and checks what the host sees.\n"
    "Prints PASS FILE (N expectations) or FAIL FILE:LINE: expected ...; got ... per file.\n"
    "Exit status: 0 all passed, 1 a file failed, 2 a syntax error or an unreadable file.\n"
    "\n"
    "  --trace    also print every host call as it happens, reads included, and the\n"
    "             plug-in's trace lines for support\n"
    "  --narrate  tell the story: print \"## \" comments, each step and the host calls it caused\n"
    "  --wine     run against the x86_64 DLL under Wine (host: $QUENTA_SCENARIO_HOST,\n"
    "             default build/win64/tests/wine/scenario-host.exe; prefix: $WINEPREFIX,\n"
    "             default build/wineprefix)\n"
    "  --help     this text\n";

}  // namespace

int main(int argc, char** argv) {
  quenta::sim::RunOptions options;
  bool wine = false;
  std::vector<std::string> files;
  std::vector<std::string> passOn;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--trace") options.trace = true;
    else if (arg == "--narrate") options.narrate = true;
    else if (arg == "--wine") wine = true;
    else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "pendant-sim: unknown option " << arg << "\n" << kUsage;
      return 2;
    } else {
      files.push_back(arg);
    }
    if (arg != "--wine") passOn.push_back(arg);
  }
  if (files.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (wine) return quenta::sim::RunUnderWine(passOn);
  // The plug-in's trace lines for support, shown with the host calls under --trace.
  quenta::ModuleCore::TraceSink trace;
  if (options.trace) trace = [](const std::string& line) { std::cout << "    trace: " << line << '\n'; };
  const quenta::sim::DriverFactory native = [trace](quenta::sim::ScriptedHost& host) {
    return std::make_unique<quenta::sim::NativeDriver>(host, trace);
  };
  return quenta::sim::RunScenarioFiles(files, native, options, std::cout, std::cerr);
}
