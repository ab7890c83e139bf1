// The configuration dialog (template 4013), run modally.
#pragma once

#include <windows.h>

namespace quenta {

// The dialog's result, or -1 when it could not be created. The owner is
// disabled while the dialog is open.
INT_PTR RunPropertiesDialog(HINSTANCE module, HWND owner);

}  // namespace quenta
