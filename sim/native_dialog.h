// Where `config` meets the configuration dialog in the native runner: the
// dialog's model, driven with the scenario's settings the way an operator
// drives the real dialog under Wine.
#pragma once

#include <functional>
#include <vector>

#include "sim/plugin_driver.h"

namespace quenta::sim {

class ScriptedHost;

// The dialog step that Config runs between loading and saving the settings:
// applies `settings`, then OK or Escape; a refused OK records its message box
// on `host`, then Escape. An action that does not fit its control throws.
std::function<void()> ScriptedDialog(bool ok, const std::vector<DialogSetting>& settings, ScriptedHost& host);

}  // namespace quenta::sim
