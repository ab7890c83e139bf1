#include "config/pendant_settings.h"

#include <cstdio>

#include "profile/profile_store.h"

namespace quenta {

const char* const kFunctionKeySection = "Quenta_M1_Pendant";
const char* const kPendantSection = "Quenta_M2_Pendant";

namespace {

// Numbers keep the low 16 bits of what the profile holds, read as signed.
std::int16_t Cut16(std::int32_t value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu));
}

struct NumberKey {
  const char* key;
  std::int16_t PendantSettings::*field;
  std::int16_t fallback;
};

const NumberKey kNumberKeys[] = {
    {"Macro1", &PendantSettings::Macro1, 0},         {"Macro2", &PendantSettings::Macro2, 0},
    {"Macro3", &PendantSettings::Macro3, 0},         {"Macro4", &PendantSettings::Macro4, 0},
    {"OEM1", &PendantSettings::OEM1, 0},             {"OEM2", &PendantSettings::OEM2, 0},
    {"OEM3", &PendantSettings::OEM3, 0},             {"OEM4", &PendantSettings::OEM4, 0},
    {"ScreenSel1", &PendantSettings::ScreenSel1, 1}, {"ScreenSel2", &PendantSettings::ScreenSel2, 2},
    {"ScreenSel3", &PendantSettings::ScreenSel3, 3},
};

struct FlagKey {
  const char* key;
  bool PendantSettings::*field;
};

const FlagKey kFlagKeys[] = {
    {"Xreverse", &PendantSettings::Xreverse},
    {"Yreverse", &PendantSettings::Yreverse},
    {"Zreverse", &PendantSettings::Zreverse},
};

void ButtonKey(int slot, char (&key)[24]) { std::snprintf(key, sizeof key, "BUTTON%d", slot); }

}  // namespace

void LoadFunctionKeySettings(ProfileStore& store, PendantSettings& settings) {
  for (int slot = 0; slot < 3; ++slot) {
    char key[24];
    ButtonKey(slot, key);
    settings.BUTTON[slot] = Cut16(store.GetInt(kFunctionKeySection, key, 0));
  }
}

void LoadRemainingSettings(ProfileStore& store, PendantSettings& settings) {
  for (const NumberKey& k : kNumberKeys) settings.*k.field = Cut16(store.GetInt(kPendantSection, k.key, k.fallback));
  for (const FlagKey& k : kFlagKeys) settings.*k.field = store.GetInt(kPendantSection, k.key, 0) != 0;
}

void LoadSettings(ProfileStore& store, PendantSettings& settings) {
  LoadFunctionKeySettings(store, settings);
  LoadRemainingSettings(store, settings);
}

void SaveSettings(ProfileStore& store, const PendantSettings& settings) {
  for (int slot = 0; slot < 3; ++slot) {
    char key[24];
    ButtonKey(slot, key);
    store.SetInt(kFunctionKeySection, key, settings.BUTTON[slot]);
  }
  for (const NumberKey& k : kNumberKeys) store.SetInt(kPendantSection, k.key, settings.*k.field);
  for (const FlagKey& k : kFlagKeys) store.SetInt(kPendantSection, k.key, settings.*k.field ? 1 : 0);
}

}  // namespace quenta
