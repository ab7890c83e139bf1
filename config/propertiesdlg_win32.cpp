#include "config/propertiesdlg_win32.h"

namespace quenta {

// Replaced by the dialog itself; until then Config has no dialog to show.
INT_PTR RunPropertiesDialog(HINSTANCE) { return -1; }

}  // namespace quenta
