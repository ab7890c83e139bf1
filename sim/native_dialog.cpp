#include "sim/native_dialog.h"

namespace quenta::sim {

// The portable dialog model (config/properties_model.h) has not landed yet;
// until it does, `config` fails loudly rather than passing without a dialog.
std::function<void()> ScriptedDialog(bool, const std::vector<DialogSetting>&, ScriptedHost&) { return {}; }

}  // namespace quenta::sim
