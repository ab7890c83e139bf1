// Narrow texts of the plug-in are in the ANSI code page; Windows file and
// DOM calls take wide texts.
#pragma once

#include <windows.h>

#include <string>

namespace quenta {

inline std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

inline std::string AnsiFromWide(const wchar_t* text, int length) {
  if (text == nullptr || length <= 0) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, text, length, &narrow[0], size, nullptr, nullptr);
  return narrow;
}

}  // namespace quenta
