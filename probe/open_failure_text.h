// Why the pendant cannot be opened and what the operator can do about it.
#pragma once

#include <string>

#include "device/hid_system.h"

namespace quenta::probe {

// A sentence or two that follows "The pendant cannot be opened: ".
std::string ExplainOpenFailure(const HidOpenFailure& failure);

}  // namespace quenta::probe
