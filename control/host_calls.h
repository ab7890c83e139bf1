// The host calls of the control logic, with the host's argument widths.
#pragma once

#include <cstdint>

#include "plugin/module_state.h"

namespace quenta {

// DoButton carries only the low 16 bits of a code.
inline void SendButton(std::int32_t code) { Host.DoButton(static_cast<short>(code)); }
inline bool LedLit(int led) { return Host.GetLED(led); }
inline double ReadDro(int dro) { return Host.GetDRO(dro); }
inline void WriteDro(int dro, double value) { Host.SetDRO(dro, value); }

}  // namespace quenta
