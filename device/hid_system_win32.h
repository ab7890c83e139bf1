// The HID seam over SetupAPI, HID and overlapped file I/O.
#pragma once

#include <memory>

#include "device/hid_system.h"

namespace quenta {

std::unique_ptr<HidSystem> CreateWin32HidSystem();

}  // namespace quenta
