// The host calls of the control logic and the link, with the host's argument
// widths. From StopPlug on none of them reaches the host: a read answers a
// dark LED and a zero DRO, and the handler that asked goes on with nothing due.
#pragma once

#include <cstdint>

#include "plugin/module_state.h"

namespace quenta {

// DoButton carries only the low 16 bits of a code.
inline void SendButton(std::int32_t code) {
  if (!HostSilenced) Host.DoButton(static_cast<short>(code));
}
inline bool LedLit(int led) { return !HostSilenced && Host.GetLED(led); }
inline double ReadDro(int dro) { return HostSilenced ? 0.0 : Host.GetDRO(dro); }
inline void WriteDro(int dro, double value) {
  if (!HostSilenced) Host.SetDRO(dro, value);
}
inline void SendCode(const char* text) {
  if (!HostSilenced) Host.Code(text);
}
inline void ShowStatusLine(const char* text) {
  if (!HostSilenced) ShowStatus(text);
}

}  // namespace quenta
