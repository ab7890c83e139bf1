#include "tests/support/wine_detection.h"

namespace quenta {

bool RunningUnderWine() { return false; }

}  // namespace quenta
