// The module object: starts Windows Sockets 1.1 when the host loads the DLL.
#include <winsock2.h>
#include <windows.h>

#include "plugin/module_instance_win32.h"
#include "profile/ansi_text_win32.h"

namespace quenta {

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE ModuleInstance() { return g_instance; }

std::wstring ModulePathW() {
  // Long paths are cut at MAX_PATH, as the host's own module lookups are.
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH);
  return std::wstring(path, length < MAX_PATH ? length : 0);
}

std::string ModuleStemAnsi() {
  const std::wstring path = ModulePathW();
  std::wstring name = path.substr(FileNameStart(path));
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return AnsiFromWide(name.data(), static_cast<int>(name.size()));
}

namespace {

bool InitInstance() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    MessageBoxA(nullptr, "Sockets Init Failed", ModuleStemAnsi().c_str(), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  return true;
}

}  // namespace
}  // namespace quenta

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    quenta::g_instance = instance;
    DisableThreadLibraryCalls(instance);
    return quenta::InitInstance() ? TRUE : FALSE;
  }
  // At process exit other threads are gone and Winsock may be too: clean up only on FreeLibrary.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) WSACleanup();
  return TRUE;
}
