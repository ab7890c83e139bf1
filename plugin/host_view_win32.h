// HostView is the host framework's window object; the window handle sits in
// it at the framework's fixed place (after the eight pointer-sized slots of
// the command-target base).
#pragma once

#include <windows.h>

namespace quenta {

constexpr std::size_t kFrameworkWindowHandleOffset = 8 * sizeof(void*);

inline HWND HostViewWindow(void* hostView) {
  if (hostView == nullptr) return nullptr;
  return *reinterpret_cast<HWND*>(static_cast<char*>(hostView) + kFrameworkWindowHandleOffset);
}

// The host's top-level window, which owns what the plug-in shows, or null.
inline HWND HostRootWindow(void* hostView) {
  HWND view = HostViewWindow(hostView);
  return view != nullptr && IsWindow(view) ? GetAncestor(view, GA_ROOT) : nullptr;
}

}  // namespace quenta
