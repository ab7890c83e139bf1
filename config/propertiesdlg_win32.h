// The configuration dialog (template 4013), run modally with no owner.
#pragma once

#include <windows.h>

namespace quenta {

// The dialog's result, or -1 when it could not be created.
INT_PTR RunPropertiesDialog(HINSTANCE module);

}  // namespace quenta
