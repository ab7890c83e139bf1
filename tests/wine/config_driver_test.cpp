// `config` under Wine: the robot at the real dialog, as the scenario runner uses it.
#include "resources/resource_ids.h"
#include "sim/profile_file.h"
#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

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
  EXPECT_EQ(driver->Config(true, {Text(IDC_MACRO1, "25"), Row(IDC_FUNCTION_KEY1, 6), Check(IDC_XREVERSE, true)}),
            sim::ConfigOutcome::Ran);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Macro1"), "25");
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Xreverse"), "1");
  EXPECT_EQ(Saved(profilePath, "Quenta_M1_Pendant", "BUTTON0"), "6");
}

TEST_F(WinePluginTest, ConfigEscapeKeepsTheSettings) {
  Start();
  EXPECT_EQ(driver->Config(false, {Text(IDC_MACRO1, "77")}), sim::ConfigOutcome::Ran);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Macro1"), "0");
}

TEST_F(WinePluginTest, ARefusedOkRecordsTheMessageBoxAndClosesWithEscape) {
  Start();
  EXPECT_EQ(driver->Config(true, {Text(IDC_MACRO1, "abc"), Check(IDC_XREVERSE, true)}), sim::ConfigOutcome::Ran);
  EXPECT_EQ(Calls(), std::vector<sim::HostCall>{sim::HostCall::Message("Please enter an integer.")});
  EXPECT_EQ(Saved(profilePath, "Quenta_M2_Pendant", "Xreverse"), "0");
}

TEST_F(WinePluginTest, ASettingThatDoesNotFitItsControlIsAnError) {
  Start();
  try {
    driver->Config(true, {Check(IDC_MACRO1, true)});
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), "config: control " + std::to_string(IDC_MACRO1) + " is not a check box");
  }
}

}  // namespace
}  // namespace quenta::wine
