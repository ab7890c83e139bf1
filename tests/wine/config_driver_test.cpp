// `config` under Wine: the robot at the real dialog, as the scenario runner uses it.
#include "sim/profile_file.h"
#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

constexpr int kMacro1Edit = 4162;
constexpr int kFunctionKey1List = 4040;
constexpr int kXReverseCheck = 4245;

sim::DialogSetting Text(int id, const std::string& text) {
  sim::DialogSetting setting;
  setting.controlId = id;
  setting.kind = sim::DialogSetting::Kind::Text;
  setting.text = text;
  return setting;
}

sim::DialogSetting Row(int id, int row) {
  sim::DialogSetting setting;
  setting.controlId = id;
  setting.kind = sim::DialogSetting::Kind::Row;
  setting.row = row;
  return setting;
}

sim::DialogSetting Check(int id, bool on) {
  sim::DialogSetting setting;
  setting.controlId = id;
  setting.kind = sim::DialogSetting::Kind::Check;
  setting.checked = on;
  return setting;
}

std::optional<std::string> Saved(const std::string& path, const char* section, const char* key) {
  return sim::ReadProfileFile(path, section, key).text;
}

TEST_F(WinePluginTest, ConfigOkSavesWhatWasTypedPickedAndTicked) {
  Start();
  EXPECT_EQ(driver->Config(true, {Text(kMacro1Edit, "25"), Row(kFunctionKey1List, 6), Check(kXReverseCheck, true)}),
            sim::ConfigOutcome::Ran);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Macro1"), "25");
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Xreverse"), "1");
  EXPECT_EQ(Saved(profilePath, "Quenta_M1_Pendant", "BUTTON0"), "6");
}

TEST_F(WinePluginTest, ConfigEscapeKeepsTheSettings) {
  Start();
  EXPECT_EQ(driver->Config(false, {Text(kMacro1Edit, "77")}), sim::ConfigOutcome::Ran);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Macro1"), "0");
}

TEST_F(WinePluginTest, ARefusedOkRecordsTheMessageBoxAndClosesWithEscape) {
  Start();
  EXPECT_EQ(driver->Config(true, {Text(kMacro1Edit, "abc"), Check(kXReverseCheck, true)}), sim::ConfigOutcome::Ran);
  EXPECT_EQ(Calls(), std::vector<sim::HostCall>{sim::HostCall::Message("Please enter an integer.")});
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Xreverse"), "0");
}

TEST_F(WinePluginTest, ASettingThatDoesNotFitItsControlIsAnError) {
  Start();
  try {
    driver->Config(true, {Check(kMacro1Edit, true)});
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "config: control 4162 is not a check box");
  }
}

}  // namespace
}  // namespace quenta::wine
