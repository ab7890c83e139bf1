// What a platform gives a pendant link besides the HID stack: the window its
// poll timer and device notifications arrive at, and the system's idle
// timers. The Win32 side is a hidden window of the plug-in's own; the
// simulator and the tests record what the link asks for.
#pragma once

#include <cstdint>

#include "device/hid_system.h"

namespace quenta {

class LinkWindow {
 public:
  virtual ~LinkWindow() = default;
  virtual void StartPollTimer() = 0;  // timer 1, 25 ms
  virtual void RegisterForDeviceNotifications(const HidGuid& classGuid) = 0;
};

// SetThreadExecutionState's flags.
constexpr std::uint32_t kSystemRequired = 0x00000001;   // ES_SYSTEM_REQUIRED
constexpr std::uint32_t kDisplayRequired = 0x00000002;  // ES_DISPLAY_REQUIRED
constexpr std::uint32_t kContinuous = 0x80000000;       // ES_CONTINUOUS

// The system's idle timers: the pendant counts as an operator at the PC.
class SystemIdle {
 public:
  virtual ~SystemIdle() = default;
  virtual void SetExecutionState(std::uint32_t flags) = 0;
};

class PandrelWin;

// Everything a link runs on. It outlives its link.
class LinkSite {
 public:
  virtual ~LinkSite() = default;
  virtual HidSystem& Hid() = 0;
  virtual LinkWindow& Window() = 0;
  virtual SystemIdle& Idle() = 0;
  // From now on the site's messages go to this link.
  virtual void Attach(PandrelWin& link) = 0;
};

}  // namespace quenta
