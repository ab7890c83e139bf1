// Narrow texts of the host are in its ANSI code page; the file layer keeps
// paths in UTF-8, which no code page can split wrongly; Windows file and DOM
// calls take wide texts.
#pragma once

#include <windows.h>

#include <string>

namespace quenta {

inline std::wstring WideFrom(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

inline std::string NarrowFrom(UINT codePage, const wchar_t* text, int length) {
  if (text == nullptr || length <= 0) return std::string();
  const int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(codePage, 0, text, length, &narrow[0], size, nullptr, nullptr);
  return narrow;
}

inline std::wstring WideFromAnsi(const std::string& text) { return WideFrom(CP_ACP, text); }
inline std::string AnsiFromWide(const wchar_t* text, int length) { return NarrowFrom(CP_ACP, text, length); }
inline std::wstring WideFromUtf8(const std::string& text) { return WideFrom(CP_UTF8, text); }
inline std::string Utf8FromWide(const std::wstring& text) {
  return NarrowFrom(CP_UTF8, text.data(), static_cast<int>(text.size()));
}

// Where the last part of a wide path starts, after its folder or drive.
inline std::size_t FileNameStart(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

}  // namespace quenta
