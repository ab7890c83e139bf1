// The seventeen settings as they travel between the profile and memory.
#include "config/pendant_settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "plugin/module_core.h"
#include "sim/counting_string_manager.h"
#include "tests/support/profile_fixture.h"

namespace quenta {
namespace {

const char* const kPendantKeys[] = {"Macro1", "Macro2", "Macro3",     "Macro4",     "OEM1",       "OEM2",     "OEM3",
                                    "OEM4",   "ScreenSel1", "ScreenSel2", "ScreenSel3", "Xreverse", "Yreverse", "Zreverse"};

// The module's start-up and Config, on a module without a pendant link.
class PendantSettingsTest : public ProfileFixture {
 protected:
  void SetProName() { module_.SetProName(strings_.Make(profile_)); }
  // The host names its profile before any Config.
  template <typename F>
  void ConfigCore(F&& dialog) {
    if (!named_) SetProName();
    named_ = true;
    module_.Config([&](PendantSettings&) { dialog(); });
  }
  void RunConfigWithoutChanges() {
    ConfigCore([] {});
  }

  sim::CountingStringManager strings_;
  ModuleCore module_{"Quenta", nullptr, nullptr};
  PendantSettings& Settings = module_.Settings();
  bool named_ = false;
};

TEST_F(PendantSettingsTest, SetProNameCreatesAMissingProfileAndStartUpAddsNoSectionToIt) {
  SetProName();
  ASSERT_TRUE(FileExists(profile_)) << "SetProName did not write the profile back";
  EXPECT_TRUE(Has("<profile"));
  module_.PostInitControl();
  EXPECT_EQ(Settings.ScreenSel1, 1);
  EXPECT_TRUE(Has("<profile"));
  EXPECT_FALSE(Has("Quenta")) << "start-up only reads the settings";
  EXPECT_EQ(folder_.EntryCount(), 1);
}

TEST_F(PendantSettingsTest, AProfileWithoutTheKeysLoadsTheDefaults) {
  WriteProfile("<profile/>");
  Settings.BUTTON[2] = 9;
  Settings.Macro3 = 9;
  Settings.OEM4 = 9;
  Settings.Yreverse = true;
  ProfileStore store(profile_);
  LoadSettings(store, Settings);
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
  WriteProfile("<profile/>");
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
  ProfileStore store(profile_);
  LoadSettings(store, Settings);
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
  ConfigCore([this] {
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

// The host rewrites its profile: half-way through, the file does not parse.
constexpr char kHalfWritten[] = "<profile><Quenta_M2_Pendant><Macro1>40</Macro1>";

TEST_F(PendantSettingsTest, AProfileThatCannotBeReadAtConfigKeepsTheSettingsInUseAndIsNotWritten) {
  WriteProfile("<profile><Quenta_M2_Pendant><Macro1>12</Macro1></Quenta_M2_Pendant></profile>");
  RunConfigWithoutChanges();
  WriteProfile(kHalfWritten);
  PendantSettings shown;
  ConfigCore([&] { shown = Settings; });
  EXPECT_EQ(shown.Macro1, 12);
  EXPECT_EQ(shown.ScreenSel2, 2);
  EXPECT_EQ(Settings.Macro1, 12);
  EXPECT_EQ(SavedProfile(), kHalfWritten);
}

TEST_F(PendantSettingsTest, AProfileReadableAgainAtTheSaveGetsAllSeventeenSettingsInUse) {
  WriteProfile("<profile><Quenta_M2_Pendant><Macro1>12</Macro1></Quenta_M2_Pendant></profile>");
  RunConfigWithoutChanges();
  WriteProfile(kHalfWritten);
  ConfigCore([&] { WriteProfile("<profile><Host>new</Host></profile>"); });
  EXPECT_EQ(KeyText(kPendantSection, "Macro1"), "12");
  for (const char* key : kPendantKeys) EXPECT_TRUE(KeyText(kPendantSection, key)) << key;
  EXPECT_EQ(KeyText(kFunctionKeySection, "BUTTON2"), "0");
  EXPECT_TRUE(Has("<Host>new</Host>"));
}

TEST_F(PendantSettingsTest, AConfigCalledWhileTheDialogIsOpenReturnsAtOnce) {
  WriteProfile("<profile/>");
  int dialogs = 0;
  ConfigCore([&] {
    ++dialogs;
    WriteProfile("<profile><Host>meanwhile</Host></profile>");
    ConfigCore([&] { ++dialogs; });
    EXPECT_EQ(SavedProfile(), "<profile><Host>meanwhile</Host></profile>") << "the second Config saved";
  });
  EXPECT_EQ(dialogs, 1);
  // Closed, even by an exception: the next Config opens its dialog.
  EXPECT_THROW(ConfigCore([] { throw std::runtime_error("dialog failed"); }), std::runtime_error);
  ConfigCore([&] { ++dialogs; });
  EXPECT_EQ(dialogs, 2);
}

}  // namespace
}  // namespace quenta
