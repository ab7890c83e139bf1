// The configuration dialog (template 4013), run modally.
#pragma once

#include <windows.h>

#include <string>

#include "config/pendant_settings.h"

namespace quenta {

// The dialog's result, or -1 when it could not be created. The owner is
// disabled while the dialog is open; OK changes `settings`; message boxes
// carry `caption`.
INT_PTR RunPropertiesDialog(HINSTANCE module, HWND owner, const std::string& caption, PendantSettings& settings);

}  // namespace quenta
