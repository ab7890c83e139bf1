// Profiles no host should write, put through every entry point's store cycle:
// each must end, give defaults or the nearest limit, and never leave the file
// damaged. The big inputs are made here, not kept in the repository.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "config/pendant_settings.h"
#include "tests/support/profile_fixture.h"
#include "tests/support/wine_detection.h"

namespace quenta {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string Repeat(const std::string& text, std::size_t times) {
  std::string result;
  result.reserve(text.size() * times);
  for (std::size_t i = 0; i < times; ++i) result += text;
  return result;
}

class HostileProfileTest : public SettingsProfileFixture {
 protected:
  // SetProName's re-save, PostInitControl's load, then Config's load and save.
  void RunEntryPoints() {
    SaveOnce(profile_);
    {
      ProfileStore store(profile_);
      LoadSettings(store, Settings);
      store.Save();
    }
    loaded_ = Settings;
    ProfileStore store(profile_);
    LoadSettings(store, Settings);
    SaveSettings(store, Settings);
    store.Save();
  }

  // A profile the document layer refuses: the host's bytes exactly as they
  // were, and nothing read from them.
  void ExpectRefusedWhole(const std::string& original) {
    EXPECT_EQ(SavedProfile(), original);
    EXPECT_TRUE(Temps().empty());
    EXPECT_EQ(loaded_.OEM4, 0);
  }

  // A profile read and saved: it holds the settings just written and still
  // carries the host's marker.
  void ExpectSavedWhole(const std::string& hostMarker) {
    const std::string saved = SavedProfile();
    EXPECT_TRUE(Temps().empty());
    EXPECT_EQ(KeyText(kPendantSection, "OEM4"), std::to_string(loaded_.OEM4)) << saved.substr(0, 400);
    EXPECT_EQ(KeyText(kPendantSection, "ScreenSel2"), "2") << "Config's save did not happen";
    EXPECT_NE(saved.find(hostMarker), std::string::npos) << "the host's content is gone";
  }

  PendantSettings loaded_;
};

// The native document reads any depth; the COM DOM under Wine refuses such a profile.
TEST_F(HostileProfileTest, DeepNestingIsReadNativelyAndRefusedByTheComDom) {
  const std::size_t depth = 200000;
  // Deep inside a key and deep in the host's own content.
  const std::string original = kDeclaration + "<profile><Quenta_M2_Pendant><OEM1>" + Repeat("<a>", depth) + "42" +
                               Repeat("</a>", depth) + "</OEM1><OEM4>9</OEM4></Quenta_M2_Pendant><Host>" +
                               Repeat("<b>", depth) + "marker" + Repeat("</b>", depth) + "</Host></profile>";
  WriteProfile(original);
  RunEntryPoints();
  if (RunningUnderWine()) {
    EXPECT_EQ(loaded_.OEM1, 0);
    ExpectRefusedWhole(original);
    return;
  }
  EXPECT_EQ(loaded_.OEM1, 42);
  EXPECT_EQ(loaded_.OEM4, 9);
  ExpectSavedWhole(Repeat("<b>", depth) + "marker" + Repeat("</b>", depth));
}

TEST_F(HostileProfileTest, FiftyMegabytesLoadAndSaveWhole) {
  // Wine's DOM needs over a minute for 50 MB, so there the profile is smaller.
  const std::size_t megabytes = RunningUnderWine() ? 5 : 50;
  const std::string item = "<Item name=\"tool\">0123456789abcdef0123456789abcdef</Item>\n";
  const std::string host = "<Host>" + Repeat(item, megabytes * 1024 * 1024 / item.size()) + "<Last>marker</Last></Host>";
  const std::string original = kDeclaration + "<profile>" + host +
                               "<Quenta_M2_Pendant><OEM4>1021</OEM4><Macro2>-7</Macro2></Quenta_M2_Pendant></profile>\n";
  WriteProfile(original);
  RunEntryPoints();
  EXPECT_EQ(loaded_.OEM4, 1021);
  EXPECT_EQ(loaded_.Macro2, -7);
  EXPECT_EQ(Settings.ScreenSel2, 2);  // absent: the default
  ExpectSavedWhole("<Last>marker</Last>");
  // Every byte of the host's own content came through.
  EXPECT_NE(SavedProfile().find(host), std::string::npos);
}

// The native document reads bytes as they are; the COM DOM under Wine refuses the profile.
TEST_F(HostileProfileTest, InvalidUtf8NeverCrashesNorCorrupts) {
  const std::string original = kDeclaration +
                               "<profile><Host>marker \xC3\x28 \xFF\xFE \xED\xA0\x80</Host>"
                               "<Quenta_M2_Pendant><Macro1>\xC3\x28""5</Macro1><OEM4>3</OEM4></Quenta_M2_Pendant>"
                               "</profile>";
  WriteProfile(original);
  RunEntryPoints();
  EXPECT_EQ(loaded_.Macro1, 0);  // text that starts with no digit, or nothing read
  if (RunningUnderWine()) {
    ExpectRefusedWhole(original);
    return;
  }
  EXPECT_EQ(loaded_.OEM4, 3);
  ExpectSavedWhole("marker \xC3\x28 \xFF\xFE \xED\xA0\x80");
}

TEST_F(HostileProfileTest, AUtf8ByteOrderMarkIsRead) {
  const std::string utf8 = "\xEF\xBB\xBF" + kDeclaration +
                           "<profile><Quenta_M2_Pendant><OEM4>77</OEM4></Quenta_M2_Pendant><Host>marker</Host></profile>";
  WriteProfile(utf8);
  RunEntryPoints();
  EXPECT_EQ(loaded_.OEM4, 77);
  ExpectSavedWhole("<Host>marker</Host>");
}

// Ten saves of a profile in UTF-16 and of one in windows-1252: each is read
// back, keeps the host's text in the file's own encoding, and differs from
// the one before only in our key.
TEST_F(HostileProfileTest, AUtf16OrWindows1252ProfileSurvivesTenSavesUnchangedButForOurKey) {
  // Latin-1 letters: one byte each in windows-1252, the byte and a zero in UTF-16.
  const std::string text = "<profile><Host>caf\xE9 \xF1</Host><S><K>0</K></S></profile>";
  for (const bool utf16 : {true, false}) {
    const auto encode = [&](const std::string& latin1) {
      std::string bytes;
      for (char c : latin1) bytes += utf16 ? std::string{c, '\0'} : std::string{c};
      return bytes;
    };
    const std::string declaration =
        std::string("<?xml version=\"1.0\" encoding=\"") + (utf16 ? "UTF-16" : "windows-1252") + "\"?>";
    WriteProfile((utf16 ? "\xFF\xFE" : "") + encode(declaration + text));
    std::string first;
    for (int save = 1; save <= 10; ++save) {
      ProfileStore store(profile_);
      EXPECT_EQ(store.GetInt("S", "K", -1), save - 1);
      store.SetInt("S", "K", save % 10);
      ASSERT_TRUE(store.Save());
      std::string saved = SavedProfile();
      const std::size_t value = saved.find(encode("<K>")) + encode("<K>").size();
      ASSERT_LT(value, saved.size());
      saved.replace(value, encode("0").size(), encode("x"));
      if (save == 1) first = saved;
      EXPECT_EQ(saved, first) << "save " << save;
    }
    EXPECT_NE(first.find(encode("<Host>caf\xE9 \xF1</Host>")), std::string::npos) << first;
    EXPECT_EQ(first.rfind("\xFF\xFE", 0) == 0, utf16);
  }
}

TEST_F(HostileProfileTest, AnEntityBombIsRefusedWhole) {
  std::string doctype = "<!DOCTYPE profile [\n<!ENTITY l0 \"ha\">\n";
  for (int level = 1; level <= 9; ++level) {
    doctype += "<!ENTITY l" + std::to_string(level) + " \"" + Repeat("&l" + std::to_string(level - 1) + ";", 10) +
               "\">\n";
  }
  const std::string original = kDeclaration + doctype + "]>\n<profile><Host>&l9;marker</Host><Quenta_M2_Pendant>" +
                               "<OEM1>&l9;</OEM1><OEM4>5</OEM4></Quenta_M2_Pendant></profile>";
  WriteProfile(original);
  RunEntryPoints();
  EXPECT_EQ(loaded_.OEM1, 0);
  ExpectRefusedWhole(original);
}

// The native document leaves a profile that declares entities alone, since it
// would save their references as text. The COM DOM reads internal entities,
// never fetches an external one and saves the host's references as they were.
TEST_F(HostileProfileTest, DeclaredEntitiesAreNeverFetchedNorMangled) {
  WriteFile(folder_.File("secret.txt"), "4242");
  const std::string original = kDeclaration +
                               "<!DOCTYPE profile [\n<!ENTITY secret SYSTEM \"secret.txt\">\n<!ENTITY nine \"9\">\n]>\n"
                               "<profile><Host>&nine;marker</Host><Quenta_M2_Pendant><OEM2>&secret;</OEM2>"
                               "<OEM3>&nine;</OEM3><OEM4>5</OEM4></Quenta_M2_Pendant></profile>";
  WriteProfile(original);
  RunEntryPoints();
  if (!RunningUnderWine()) {
    EXPECT_EQ(loaded_.OEM3, 0);
    ExpectRefusedWhole(original);
    return;
  }
  EXPECT_EQ(loaded_.OEM2, 0) << "the external entity was fetched";
  EXPECT_EQ(loaded_.OEM3, 9);
  EXPECT_EQ(loaded_.OEM4, 5);
  ExpectSavedWhole("<Host>&nine;marker</Host>");
  EXPECT_NE(SavedProfile().find("<!ENTITY secret SYSTEM \"secret.txt\">"), std::string::npos);
}

TEST_F(HostileProfileTest, DuplicatedSectionsAndKeysUseTheFirstAndKeepTheRest) {
  const std::string original = kDeclaration +
                               "<profile><Quenta_M2_Pendant><OEM4>1</OEM4><OEM4>2</OEM4></Quenta_M2_Pendant>"
                               "<Quenta_M2_Pendant><OEM4>3</OEM4><Macro1>4</Macro1></Quenta_M2_Pendant></profile>";
  WriteProfile(original);
  RunEntryPoints();
  EXPECT_EQ(loaded_.OEM4, 1);
  EXPECT_EQ(loaded_.Macro1, 0);  // only in the second section, which is never looked at
  const std::string saved = SavedProfile();
  EXPECT_NE(saved.find("<OEM4>2</OEM4>"), std::string::npos);
  EXPECT_NE(saved.find("<OEM4>3</OEM4><Macro1>4</Macro1>"), std::string::npos);
}

TEST_F(HostileProfileTest, HugeNumbersReadAsTheNearestLimit) {
  const std::string original =
      kDeclaration +
      "<profile><Quenta_M2_Pendant><OEM1>99999999999999999999999999</OEM1><OEM2>-99999999999999999999</OEM2>"
      "<OEM3>" + Repeat("9", 100000) + "</OEM3><OEM4>70000</OEM4></Quenta_M2_Pendant></profile>";
  WriteProfile(original);
  {
    ProfileStore store(profile_);
    EXPECT_EQ(store.GetInt(kPendantSection, "OEM1", 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store.GetInt(kPendantSection, "OEM2", 0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store.GetInt(kPendantSection, "OEM3", 0), std::numeric_limits<std::int32_t>::max());
  }
  RunEntryPoints();
  // The settings keep the low 16 bits of what the store answers, as for 70000.
  EXPECT_EQ(loaded_.OEM1, -1);
  EXPECT_EQ(loaded_.OEM2, 0);
  EXPECT_EQ(loaded_.OEM4, 4464);
  EXPECT_EQ(KeyText(kPendantSection, "OEM1"), "-1");
}

}  // namespace
}  // namespace quenta
