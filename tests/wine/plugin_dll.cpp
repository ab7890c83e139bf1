#include "tests/wine/plugin_dll.h"

namespace quenta::wine {

const char* const kExportNames[23] = {
    "SetDoButton", "SetSetDRO", "SetGetDRO",   "SetGetLED",         "SetSetLED",           "SetCode",
    "SetProName",  "InitControl", "PostInitControl", "Update",      "Config",              "StopPlug",
    "DoDwell",     "Reset",     "JogOn",       "JogOff",            "Purge",               "Probe",
    "Home",        "DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"};

namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& slot, std::string& missing) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) missing += (missing.empty() ? "" : " ") + std::string(name);
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

}  // namespace

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length < MAX_PATH ? length : 0);
  folder.erase(folder.find_last_of('\\') + 1);
  return folder;
}

PluginDll::PluginDll() {
  // The fake system DLLs sit beside the plug-in.
  module_ = LoadLibraryExA((ProgramFolder() + "Quenta.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module_ == nullptr) {
    missing_ = "Quenta.dll";
    return;
  }
  const char* const* name = kExportNames;
  Bind(module_, *name++, exports_.SetDoButton, missing_);
  Bind(module_, *name++, exports_.SetSetDRO, missing_);
  Bind(module_, *name++, exports_.SetGetDRO, missing_);
  Bind(module_, *name++, exports_.SetGetLED, missing_);
  Bind(module_, *name++, exports_.SetSetLED, missing_);
  Bind(module_, *name++, exports_.SetCode, missing_);
  Bind(module_, *name++, exports_.SetProName, missing_);
  Bind(module_, *name++, exports_.InitControl, missing_);
  Bind(module_, *name++, exports_.PostInitControl, missing_);
  Bind(module_, *name++, exports_.Update, missing_);
  Bind(module_, *name++, exports_.Config, missing_);
  Bind(module_, *name++, exports_.StopPlug, missing_);
  Bind(module_, *name++, exports_.DoDwell, missing_);
  Bind(module_, *name++, exports_.Reset, missing_);
  Bind(module_, *name++, exports_.JogOn, missing_);
  Bind(module_, *name++, exports_.JogOff, missing_);
  Bind(module_, *name++, exports_.Purge, missing_);
  Bind(module_, *name++, exports_.Probe, missing_);
  Bind(module_, *name++, exports_.Home, missing_);
  Bind(module_, *name++, exports_.DllRegisterServer, missing_);
  Bind(module_, *name++, exports_.DllUnregisterServer, missing_);
  Bind(module_, *name++, exports_.DllGetClassObject, missing_);
  Bind(module_, *name++, exports_.DllCanUnloadNow, missing_);
}

PluginDll::~PluginDll() {
  if (module_ != nullptr) FreeLibrary(module_);
}

}  // namespace quenta::wine
