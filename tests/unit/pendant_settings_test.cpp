// The seventeen settings as they travel between the profile and memory.
#include "config/pendant_settings.h"

#include <gtest/gtest.h>

#include "plugin/lifecycle.h"
#include "tests/support/profile_fixture.h"

namespace quenta {
namespace {

const char* const kPendantKeys[] = {"Macro1", "Macro2", "Macro3",     "Macro4",     "OEM1",       "OEM2",     "OEM3",
                                    "OEM4",   "ScreenSel1", "ScreenSel2", "ScreenSel3", "Xreverse", "Yreverse", "Zreverse"};

class PendantSettingsTest : public SettingsProfileFixture {
 protected:
  static void RunConfigWithoutChanges() { ConfigCore([] {}); }
};

TEST_F(PendantSettingsTest, AProfileWithoutTheKeysLoadsTheDefaults) {
  WriteProfile("<profile/>");
  Settings.BUTTON[2] = 9;
  Settings.Macro3 = 9;
  Settings.OEM4 = 9;
  Settings.Yreverse = true;
  {
    ProfileStore store;
    LoadSettings(store);
  }
  EXPECT_EQ(Settings.BUTTON[0], 0);
  EXPECT_EQ(Settings.BUTTON[2], 0);
  EXPECT_EQ(Settings.Macro3, 0);
  EXPECT_EQ(Settings.OEM4, 0);
  EXPECT_EQ(Settings.ScreenSel1, 1);
  EXPECT_EQ(Settings.ScreenSel2, 2);
  EXPECT_EQ(Settings.ScreenSel3, 3);
  EXPECT_FALSE(Settings.Yreverse);
  EXPECT_FALSE(Has("Quenta"));
}

TEST_F(PendantSettingsTest, ACancelledConfigWritesAllSeventeenKeysInOrder) {
  RunConfigWithoutChanges();
  EXPECT_LT(At("<Quenta_M1_Pendant>"), At("<BUTTON0>0<"));
  EXPECT_LT(At("<BUTTON0>"), At("<BUTTON1>0<"));
  EXPECT_LT(At("<BUTTON1>"), At("<BUTTON2>0<"));
  EXPECT_LT(At("<BUTTON2>"), At("<Quenta_M2_Pendant>"));
  std::size_t previous = At("<Quenta_M2_Pendant>");
  for (const char* key : kPendantKeys) {
    const std::size_t here = At(std::string("<") + key + ">");
    EXPECT_LT(previous, here) << key;
    previous = here;
  }
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "ScreenSel2"), "2");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "Zreverse"), "0");
}

TEST_F(PendantSettingsTest, NumbersKeepTheirLow16BitsAndFlagsBecome0Or1) {
  WriteProfile(
      "<profile><Quenta_M1_Pendant><BUTTON0>80</BUTTON0><BUTTON2>7</BUTTON2></Quenta_M1_Pendant>"
      "<Quenta_M2_Pendant><OEM1>65535</OEM1><Macro2>70000</Macro2><Macro4>-3</Macro4>"
      "<Xreverse>5</Xreverse><Yreverse>0</Yreverse></Quenta_M2_Pendant></profile>");
  {
    ProfileStore store;
    LoadSettings(store);
  }
  EXPECT_EQ(Settings.BUTTON[0], 80);
  EXPECT_EQ(Settings.OEM1, -1);
  EXPECT_EQ(Settings.Macro2, 4464);
  EXPECT_EQ(Settings.Macro4, -3);
  EXPECT_TRUE(Settings.Xreverse);
  EXPECT_FALSE(Settings.Yreverse);

  RunConfigWithoutChanges();
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "OEM1"), "-1");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "Macro2"), "4464");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "Macro4"), "-3");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "Xreverse"), "1");
  EXPECT_EQ(KeyText("Quenta_M1_Pendant", "BUTTON0"), "80");
}

TEST_F(PendantSettingsTest, TheUnusedThirdButtonSurvivesEveryConfig) {
  WriteProfile("<profile><Quenta_M1_Pendant><BUTTON2>7</BUTTON2></Quenta_M1_Pendant></profile>");
  for (int config = 0; config < 3; ++config) RunConfigWithoutChanges();
  EXPECT_EQ(Settings.BUTTON[2], 7);
  EXPECT_EQ(KeyText("Quenta_M1_Pendant", "BUTTON2"), "7");
  const std::string saved = SavedProfile();
  EXPECT_EQ(saved.find("<BUTTON2>"), saved.rfind("<BUTTON2>"));
}

TEST_F(PendantSettingsTest, ChangesInMemoryReachTheProfileAtTheEndOfConfig) {
  ConfigCore([] {
    Settings.BUTTON[1] = 36;
    Settings.OEM3 = -32768;
    Settings.ScreenSel1 = -1;
    Settings.Zreverse = true;
  });
  EXPECT_EQ(KeyText("Quenta_M1_Pendant", "BUTTON1"), "36");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "OEM3"), "-32768");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "ScreenSel1"), "-1");
  EXPECT_EQ(KeyText("Quenta_M2_Pendant", "Zreverse"), "1");
}

}  // namespace
}  // namespace quenta
