// The plug-in DLL as the host loads it: LoadLibrary, then every export
// looked up by its undecorated name. Unloading gives the next load a fresh
// module state.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/framework_string.h"
#include "plugin/host_api.h"

namespace quenta::wine {

struct PluginExports {
  void (*SetDoButton)(DoButtonFn) = nullptr;
  void (*SetSetDRO)(SetDROFn) = nullptr;
  void (*SetGetDRO)(GetDROFn) = nullptr;
  void (*SetGetLED)(GetLEDFn) = nullptr;
  void (*SetSetLED)(SetLEDFn) = nullptr;
  void (*SetCode)(CodeFn) = nullptr;
  const char* (*SetProName)(FrameworkString) = nullptr;
  bool (*InitControl)(void*, void*, void*, void*) = nullptr;
  void (*PostInitControl)() = nullptr;
  void (*Update)() = nullptr;
  void (*Config)() = nullptr;
  void (*StopPlug)() = nullptr;
  void (*DoDwell)() = nullptr;
  void (*Reset)() = nullptr;
  void (*JogOn)() = nullptr;
  void (*JogOff)() = nullptr;
  void (*Purge)() = nullptr;
  void (*Probe)() = nullptr;
  void (*Home)() = nullptr;
  HRESULT(__stdcall* DllRegisterServer)() = nullptr;
  HRESULT(__stdcall* DllUnregisterServer)() = nullptr;
  HRESULT(__stdcall* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(__stdcall* DllCanUnloadNow)() = nullptr;
};

// The exports' names, in the order of PluginExports.
extern const char* const kExportNames[23];

class PluginDll {
 public:
  // Loads Quenta.dll from the folder of the running program.
  PluginDll();
  ~PluginDll();
  PluginDll(const PluginDll&) = delete;
  PluginDll& operator=(const PluginDll&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // Empty when every export was found; otherwise the missing names.
  const std::string& Missing() const { return missing_; }
  const PluginExports& operator*() const { return exports_; }
  const PluginExports* operator->() const { return &exports_; }
  HMODULE Module() const { return module_; }

 private:
  HMODULE module_ = nullptr;
  PluginExports exports_;
  std::string missing_;
};

// The folder of the running program, with a trailing backslash.
std::string ProgramFolder();

}  // namespace quenta::wine
