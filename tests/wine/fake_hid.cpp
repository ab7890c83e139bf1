// A stand-in for the two HID calls the plug-in makes, for the Wine tests
// only. A served device is a named pipe whose name carries its identity,
// e.g. \\.\pipe\hid#vid_04d8&pid_fceb#1; the attributes are read back from
// the name of the handle the plug-in opened.
#include <windows.h>
extern "C" {
#include <hidsdi.h>
}

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

// The four hex digits after `tag` ("vid_" or "pid_"), case-insensitive.
bool ParseId(const std::wstring& name, const wchar_t* tag, USHORT& id) {
  std::wstring lower;
  for (wchar_t c : name) lower.push_back(static_cast<wchar_t>(std::towlower(c)));
  const std::size_t at = lower.find(tag);
  if (at == std::wstring::npos || at + 4 + 4 > lower.size()) return false;
  unsigned value = 0;
  for (std::size_t i = at + 4; i < at + 8; ++i) {
    const wchar_t c = lower[i];
    if (!std::iswxdigit(c)) return false;
    value = value * 16 + static_cast<unsigned>(c <= L'9' ? c - L'0' : c - L'a' + 10);
  }
  id = static_cast<USHORT>(value);
  return true;
}

}  // namespace

extern "C" {

void NTAPI HidD_GetHidGuid(LPGUID guid) {
  if (guid == nullptr) return;
  // The HID device-interface class.
  *guid = GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
  if (attributes == nullptr || attributes->Size != sizeof(HIDD_ATTRIBUTES)) return FALSE;
  alignas(FILE_NAME_INFO) unsigned char buffer[sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(wchar_t)] = {};
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer);
  if (!GetFileInformationByHandleEx(device, FileNameInfo, info, sizeof buffer)) return FALSE;
  const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
  USHORT vendor = 0;
  USHORT product = 0;
  if (!ParseId(name, L"vid_", vendor) || !ParseId(name, L"pid_", product)) return FALSE;
  attributes->VendorID = vendor;
  attributes->ProductID = product;
  attributes->VersionNumber = 0x0100;
  return TRUE;
}

}  // extern "C"
