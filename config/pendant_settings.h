// The operator's choices for the pendant, kept in the host profile. The
// module holds one instance; handlers read the fields in place at each use.
#pragma once

#include <cstdint>

namespace quenta {

class ProfileStore;

struct PendantSettings {
  std::int16_t BUTTON[3] = {0, 0, 0};  // FunctionList positions; slot 2 is carried, never used
  std::int16_t Macro1 = 0, Macro2 = 0, Macro3 = 0, Macro4 = 0;
  std::int16_t OEM1 = 0, OEM2 = 0, OEM3 = 0, OEM4 = 0;
  std::int16_t ScreenSel1 = 0, ScreenSel2 = 0, ScreenSel3 = 0;  // ScreenList positions
  bool Xreverse = false, Yreverse = false, Zreverse = false;
};

extern const char* const kFunctionKeySection;  // "Quenta_M1_Pendant"
extern const char* const kPendantSection;      // "Quenta_M2_Pendant"

// Start-up reads the three BUTTON keys, runs discovery, then reads the rest.
void LoadFunctionKeySettings(ProfileStore& store, PendantSettings& settings);
void LoadRemainingSettings(ProfileStore& store, PendantSettings& settings);
void LoadSettings(ProfileStore& store, PendantSettings& settings);
void SaveSettings(ProfileStore& store, const PendantSettings& settings);

}  // namespace quenta
