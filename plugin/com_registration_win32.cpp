// COM self-registration: the module's type library, and no class factories.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "plugin/module_instance_win32.h"

namespace {

constexpr HRESULT kTypeLibFailed = static_cast<HRESULT>(0x80040200);  // SELFREG_E_TYPELIB

ITypeLib* LoadOwnTypeLib() {
  const std::wstring path = quenta::ModulePathW();
  ITypeLib* library = nullptr;
  if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return nullptr;
  return library;
}

}  // namespace

extern "C" HRESULT __stdcall DllRegisterServer() {
  ITypeLib* library = LoadOwnTypeLib();
  if (library == nullptr) return kTypeLibFailed;
  std::wstring path = quenta::ModulePathW();
  const HRESULT registered = RegisterTypeLib(library, &path[0], nullptr);
  library->Release();
  if (FAILED(registered)) return kTypeLibFailed;
  // The module has no class factories, so there are no class entries to update.
  return S_OK;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  ITypeLib* library = LoadOwnTypeLib();
  if (library == nullptr) return kTypeLibFailed;
  TLIBATTR* attributes = nullptr;
  HRESULT result = library->GetLibAttr(&attributes);
  if (SUCCEEDED(result)) {
    result = UnRegisterTypeLib(attributes->guid, 1, 0, 0, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return FAILED(result) ? kTypeLibFailed : S_OK;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, LPVOID* object) {
  if (object != nullptr) *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
