// The DLL's own module: its handle and its file name, read once here.
#pragma once

#include <windows.h>

#include <string>

namespace quenta {

HINSTANCE ModuleInstance();
std::wstring ModulePathW();
// The file name without folder and extension, in the ANSI code page: split
// as wide text, since in a double-byte code page a trail byte can be '\'.
std::string ModuleStemAnsi();

}  // namespace quenta
