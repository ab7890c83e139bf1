#include "tests/wine/import_watch.h"

#include <dbt.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace quenta::wine {

namespace {

ImportWatch* watch = nullptr;
const GUID kHidClassGuid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// What each watched slot held before: the functions the recorders pass the calls on to.
enum Watched { kCreateFileA, kCloseHandle, kCancelIo, kCancelIoEx, kReadFile, kWriteFile, kGetOverlappedResult, kWaitForSingleObject, kSetTimer,
               kRegisterDeviceNotificationA, kUnregisterDeviceNotification, kSetThreadExecutionState, kWatchedCount };
void* originals[kWatchedCount] = {};

template <typename F>
F Real(Watched which) {
  return reinterpret_cast<F>(originals[which]);
}

// In this harness a HID device is a named pipe: its server gone is the device gone.
void AsRemovedDevice() {
  const DWORD error = GetLastError();
  if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA)
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
}

}  // namespace

// The recorders, with the exact signatures (and calling conventions) of the functions they stand for.
struct ImportRecorders {
  static HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    const auto real = Real<decltype(&::CreateFileA)>(kCreateFileA);
    const HANDLE file = real(path, access, share, security, disposition, flags, templateFile);
    if (watch != nullptr && file != INVALID_HANDLE_VALUE && path != nullptr) {
      watch->opened_[file] = path;
      watch->handleEvents_.push_back({true, file, access});
    }
    return file;
  }
  static BOOL WINAPI CloseHandle(HANDLE handle) {
    if (watch != nullptr) watch->stale_.erase(handle);
    if (watch != nullptr && watch->opened_.erase(handle) != 0) watch->handleEvents_.push_back({false, handle, 0});
    return Real<decltype(&::CloseHandle)>(kCloseHandle)(handle);
  }
  static BOOL WINAPI CancelIo(HANDLE file) {
    if (watch != nullptr) ++watch->wholeHandleCancels_;
    return Real<decltype(&::CancelIo)>(kCancelIo)(file);
  }
  static BOOL WINAPI CancelIoEx(HANDLE file, LPOVERLAPPED io) {
    if (watch != nullptr && (watch->Stale(file) || watch->ignoreCancels_)) return TRUE;
    if (watch != nullptr) {
      if (io == nullptr) ++watch->wholeHandleCancels_;
      if (watch->beforeCancel_) std::exchange(watch->beforeCancel_, nullptr)();
    }
    return Real<decltype(&::CancelIoEx)>(kCancelIoEx)(file, io);
  }
  static BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED io) {
    if (NeverEnds(file, io)) return FALSE;
    if (FailAsStuck(file)) return FALSE;
    const auto real = Real<decltype(&::ReadFile)>(kReadFile);
    const BOOL ok = real(file, buffer, size, done, io);
    if (!ok) AsRemovedDevice();
    return ok;
  }
  static BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED io) {
    if (watch != nullptr) ++watch->writeCalls_;
    if (NeverEnds(file, io)) return FALSE;
    if (FailAsStuck(file)) return FALSE;
    const auto real = Real<decltype(&::WriteFile)>(kWriteFile);
    const BOOL ok = real(file, buffer, size, done, io);
    if (!ok) AsRemovedDevice();
    return ok;
  }
  // The real call still ends the I/O; a failing device's outcome is the failure.
  static BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED io, LPDWORD done, BOOL wait) {
    if (watch != nullptr && watch->Stale(file)) {
      SetLastError(ERROR_IO_INCOMPLETE);  // a wait for it would never end: the harness never waits
      return FALSE;
    }
    const auto real = Real<decltype(&::GetOverlappedResult)>(kGetOverlappedResult);
    const BOOL ok = real(file, io, done, wait);
    if (FailAsStuck(file)) return FALSE;
    if (!ok) AsRemovedDevice();
    return ok;
  }
  // A stale handle's I/O is left pending for good, its event reset as the system would.
  static bool NeverEnds(HANDLE file, LPOVERLAPPED io) {
    if (watch == nullptr || !watch->Stale(file)) return false;
    if (io != nullptr && io->hEvent != nullptr) ResetEvent(io->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return true;
  }
  static EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags) {
    if (watch != nullptr) {
      if ((flags & ES_CONTINUOUS) != 0)
        watch->keptAwake_ = (flags & ES_SYSTEM_REQUIRED) != 0;
      else if ((flags & (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED)) == (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED))
        watch->touched_ = true;
    }
    return Real<decltype(&::SetThreadExecutionState)>(kSetThreadExecutionState)(flags);
  }
  static bool FailAsStuck(HANDLE file) {
    if (watch == nullptr || !watch->Failing(file)) return false;
    SetLastError(ERROR_GEN_FAILURE);
    return true;
  }
  static DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD timeoutMs) {
    const auto real = Real<decltype(&::WaitForSingleObject)>(kWaitForSingleObject);
    if (watch != nullptr && timeoutMs != INFINITE) watch->waits_.push_back({handle, timeoutMs});
    return real(handle, timeoutMs);
  }
  static UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC proc) {
    const auto real = Real<decltype(&::SetTimer)>(kSetTimer);
    if (watch != nullptr) watch->timers_.push_back({window, id, periodMs});
    return real(window, id, periodMs, proc);
  }
  static HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
    const auto real = Real<decltype(&::RegisterDeviceNotificationA)>(kRegisterDeviceNotificationA);
    const HDEVNOTIFY handle = real(recipient, filter, flags);
    if (watch == nullptr || handle == nullptr) return handle;
    const auto* hid = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
    const bool right = flags == DEVICE_NOTIFY_WINDOW_HANDLE && hid != nullptr && hid->dbcc_size == 32 &&
                       hid->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
                       IsEqualGUID(hid->dbcc_classguid, kHidClassGuid);
    if (right)
      watch->registrations_.push_back({handle, static_cast<HWND>(recipient)});
    else
      ++watch->badRegistrations_;
    return handle;
  }
  static BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY handle) {
    const auto real = Real<decltype(&::UnregisterDeviceNotification)>(kUnregisterDeviceNotification);
    if (watch != nullptr) {
      auto& registrations = watch->registrations_;
      registrations.erase(std::remove_if(registrations.begin(), registrations.end(),
                                         [handle](const ImportWatch::Registration& r) { return r.handle == handle; }),
                          registrations.end());
    }
    return real(handle);
  }
};

ImportWatch::ImportWatch(HMODULE module) : module_(module) {
  watch = this;
  struct Entry {
    Watched which;
    const char* dll;
    const char* function;
    void* recorder;
    bool optional = false;
  };
  const Entry entries[] = {
      {kCreateFileA, "kernel32.dll", "CreateFileA", reinterpret_cast<void*>(&ImportRecorders::CreateFileA)},
      {kCloseHandle, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(&ImportRecorders::CloseHandle)},
      {kCancelIo, "kernel32.dll", "CancelIo", reinterpret_cast<void*>(&ImportRecorders::CancelIo), true},
      {kCancelIoEx, "kernel32.dll", "CancelIoEx", reinterpret_cast<void*>(&ImportRecorders::CancelIoEx)},
      {kReadFile, "kernel32.dll", "ReadFile", reinterpret_cast<void*>(&ImportRecorders::ReadFile)},
      {kWriteFile, "kernel32.dll", "WriteFile", reinterpret_cast<void*>(&ImportRecorders::WriteFile)},
      {kGetOverlappedResult, "kernel32.dll", "GetOverlappedResult",
       reinterpret_cast<void*>(&ImportRecorders::GetOverlappedResult)},
      {kWaitForSingleObject, "kernel32.dll", "WaitForSingleObject",
       reinterpret_cast<void*>(&ImportRecorders::WaitForSingleObject)},
      {kSetTimer, "user32.dll", "SetTimer", reinterpret_cast<void*>(&ImportRecorders::SetTimer)},
      {kRegisterDeviceNotificationA, "user32.dll", "RegisterDeviceNotificationA",
       reinterpret_cast<void*>(&ImportRecorders::RegisterDeviceNotificationA)},
      {kUnregisterDeviceNotification, "user32.dll", "UnregisterDeviceNotification",
       reinterpret_cast<void*>(&ImportRecorders::UnregisterDeviceNotification)},
      {kSetThreadExecutionState, "kernel32.dll", "SetThreadExecutionState",
       reinterpret_cast<void*>(&ImportRecorders::SetThreadExecutionState)},
  };
  for (const Entry& entry : entries) {
    originals[entry.which] = PatchImport(entry.dll, entry.function, entry.recorder);
    if (originals[entry.which] == nullptr && !entry.optional) complete_ = false;
  }
}

ImportWatch::~ImportWatch() {
  for (const Patch& patch : patches_) {
    DWORD protection = 0;
    VirtualProtect(patch.slot, sizeof(void*), PAGE_READWRITE, &protection);
    *patch.slot = patch.original;
    VirtualProtect(patch.slot, sizeof(void*), protection, &protection);
  }
  if (watch == this) watch = nullptr;
}

void ImportWatch::SetFailing(const std::string& path, bool failing) {
  if (failing)
    failing_.insert(path);
  else
    failing_.erase(path);
}

bool ImportWatch::Failing(HANDLE file) const {
  const auto opened = opened_.find(file);
  return opened != opened_.end() && failing_.count(opened->second) != 0;
}

void ImportWatch::MakeOpenHandlesStale() {
  for (const auto& [handle, path] : opened_) stale_.insert(handle);
}

HWND ImportWatch::TimerWindow() const {
  if (timers_.empty() || !IsWindow(timers_.back().window)) return nullptr;
  return timers_.back().window;
}

HWND ImportWatch::HidNotificationWindow() const {
  return registrations_.empty() ? nullptr : registrations_.back().window;
}

// Finds the import-address slot of dll!function in the module, points it at
// the recorder and returns what it held; null when the module does not import it.
void* ImportWatch::PatchImport(const char* dll, const char* function, void* recorder) {
  auto* base = reinterpret_cast<unsigned char*>(module_);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       imports.VirtualAddress != 0 && entry->Name != 0; ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      void** slot = reinterpret_cast<void**>(&slots->u1.Function);
      DWORD protection = 0;
      VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
      void* original = *slot;
      patches_.push_back({slot, original});
      *slot = recorder;
      VirtualProtect(slot, sizeof(void*), protection, &protection);
      return original;
    }
  }
  return nullptr;
}

}  // namespace quenta::wine
