// `pendant-sim --wine`: hands the scenario files to the Wine scenario host,
// which runs them against the real DLL with the same parser and runner.
#pragma once

#include <string>
#include <vector>

namespace quenta::sim {

// Runs `wine <scenario host> ARGS...` and returns its exit status (2 if it
// cannot be started). The host is $QUENTA_SCENARIO_HOST, else the one of the
// win64 build tree; WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES get the
// project's defaults when unset, and xvfb-run supplies a display when there is none.
int RunUnderWine(const std::vector<std::string>& args);

}  // namespace quenta::sim
