// A stand-in for SetupAPI's device-interface enumeration, for the Wine tests
// only: the "present HID interfaces" are the paths the test host publishes
// (see fake_hid_bus.h), snapshotted when the device information set is made.
#include <windows.h>
#define _SETUPAPI_  // we define these functions, so they are not imports here
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/fake_hid_bus.h"

namespace {

struct DeviceSet {
  GUID classGuid;
  std::vector<std::string> paths;
};

std::vector<std::string> PublishedPaths() {
  std::vector<std::string> paths;
  const DWORD size = GetEnvironmentVariableA(quenta::wine::kFakeHidPathsVariable, nullptr, 0);
  if (size == 0) return paths;
  std::string all(size, '\0');
  all.resize(GetEnvironmentVariableA(quenta::wine::kFakeHidPathsVariable, &all[0], size));
  std::size_t start = 0;
  while (start <= all.size()) {
    const std::size_t end = std::min(all.find(quenta::wine::kFakeHidPathSeparator, start), all.size());
    if (end > start) paths.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

DeviceSet* AsSet(HDEVINFO set) { return static_cast<DeviceSet*>(set); }

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
  if (classGuid == nullptr || (flags & DIGCF_DEVICEINTERFACE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return new DeviceSet{*classGuid, PublishedPaths()};
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data) {
  if (set == INVALID_HANDLE_VALUE || set == nullptr || classGuid == nullptr || data == nullptr ||
      data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!IsEqualGUID(*classGuid, AsSet(set)->classGuid) || index >= AsSet(set)->paths.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->InterfaceClassGuid = *classGuid;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = index;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA) {
  if (set == INVALID_HANDLE_VALUE || set == nullptr || data == nullptr || data->Reserved >= AsSet(set)->paths.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string& path = AsSet(set)->paths[data->Reserved];
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr || detailSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  if (set == INVALID_HANDLE_VALUE || set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete AsSet(set);
  return TRUE;
}

}  // extern "C"
