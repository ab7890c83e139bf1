// scenario-host: runs scenario files against the real plug-in DLL under Wine,
// with the same parser and runner as pendant-sim (which hands `--wine` runs here).
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "sim/scenario_runner.h"
#include "tests/wine/wine_driver.h"

int main(int argc, char** argv) {
  quenta::sim::RunOptions options;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--narrate") {
      options.narrate = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "scenario-host: unknown option " << arg << "\nusage: scenario-host [--trace] [--narrate] FILE...\n";
      return 2;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::cerr << "usage: scenario-host [--trace] [--narrate] FILE...\n";
    return 2;
  }
  const quenta::sim::DriverFactory wine = [](quenta::sim::ScriptedHost& host) {
    return std::make_unique<quenta::wine::WineDriver>(host);
  };
  return quenta::sim::RunScenarioFiles(files, wine, options, std::cout, std::cerr);
}
