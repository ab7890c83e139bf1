// Any text as a scenario file: the parser either accepts it or refuses it
// with a "FILE:LINE: error: ..." message, and never crashes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/scenario_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<quenta::sim::Scenario> scenario = quenta::sim::ParseScenario("fuzz.scn", text, error);
  if (!scenario && error.rfind("fuzz.scn:", 0) != 0) std::abort();
  if (scenario) {
    for (const quenta::sim::Command& command : scenario->commands)
      if (command.line < 1) std::abort();
  }
  return 0;
}
