// The DLL's own module handle and file name.
#pragma once

#include <windows.h>

#include <string>

namespace quenta {

HINSTANCE ModuleInstance();
std::string ModulePath();

}  // namespace quenta
