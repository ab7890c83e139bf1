// What crosses the boundary between the host and the plug-in: the six callbacks
// the host hands over and the four pointers of InitControl.
#pragma once

#include <cstdint>

namespace quenta {

using DoButtonFn = void (*)(short code);
using SetDROFn = void (*)(int code, double value);
using GetDROFn = double (*)(int code);
using GetLEDFn = bool (*)(int code);
using SetLEDFn = void (*)(int code, bool lit);
using CodeFn = void (*)(const char* text);

struct HostCallbacks {
  DoButtonFn DoButton = nullptr;
  SetDROFn SetDRO = nullptr;
  GetDROFn GetDRO = nullptr;
  GetLEDFn GetLED = nullptr;
  SetLEDFn SetLED = nullptr;  // stored, never called
  CodeFn Code = nullptr;
};

// Byte offset of the status-line string object inside HostBlock3.
constexpr std::uintptr_t kStatusLineOffset = 0x11BB0C;

}  // namespace quenta
