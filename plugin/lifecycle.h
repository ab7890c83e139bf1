// The platform-free half of the exports that do more than store a value:
// the title, start-up's load-discover-load order, and Config's load-run-save.
#pragma once

#include <functional>
#include <string>

#include "plugin/framework_string.h"

namespace quenta {

class PandrelWin;

// "<module file name without folder and extension> Pendant --Orbelin Ver 1.0".
// Takes over `name` and releases it once. The pointer stays valid until the next call.
const char* SetProNameCore(FrameworkString name, const std::string& modulePath);
// The module's file name without folder and extension.
std::string ModuleStem(const std::string& modulePath);
// `link` may be null (the window could not be made); the settings still load.
void PostInitControlCore(PandrelWin* link);
// runDialog shows the configuration dialog modally; its result does not matter.
// A call made while the dialog is open returns at once.
void ConfigCore(const std::function<void()>& runDialog);

}  // namespace quenta
