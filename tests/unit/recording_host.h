// A host for unit tests: plain callback functions that record every command
// and answer LED and DRO reads from tables the test sets.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "plugin/module_state.h"

namespace quenta::testing_support {

struct RecordingHost {
  std::vector<std::string> calls;  // "DoButton 1021", "SetDRO 3 50", "Code M12"
  std::map<int, bool> leds;
  std::map<int, double> dros;
  int ledReads = 0;

  // Installs this host's callbacks into the module state (a fresh module).
  void Install();
  std::vector<std::string> Take();
};

}  // namespace quenta::testing_support
