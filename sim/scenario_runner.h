// Runs parsed scenarios against a PluginDriver and a ScriptedHost, checks
// their expectations and prints the language's PASS / FAIL lines. Both the
// native runner and the Wine runner use this, so they judge alike.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "sim/plugin_driver.h"
#include "sim/scenario_parser.h"

namespace quenta::sim {

struct RunOptions {
  bool trace = false;    // every host call as it happens, reads included
  bool narrate = false;  // the guided tour: "## " comments, steps and the calls they caused
};

// Runs one scenario in a fresh temporary profile. Returns 0 when every
// expectation held, 1 when one did not, 2 when a step could not run as the
// file says (a plug of a pendant that is present).
int RunScenario(const Scenario& scenario, const DriverFactory& factory, const RunOptions& options, std::ostream& out);

// Parses and runs each file. Syntax errors and unreadable files go to `err`.
// Returns the exit status: 2 if any file could not be read or parsed,
// otherwise 1 if any failed, otherwise 0.
int RunScenarioFiles(const std::vector<std::string>& files, const DriverFactory& factory, const RunOptions& options,
                     std::ostream& out, std::ostream& err);

}  // namespace quenta::sim
