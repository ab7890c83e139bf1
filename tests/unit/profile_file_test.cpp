#include "sim/profile_file.h"

#include <gtest/gtest.h>

namespace quenta::sim {
namespace {

std::string Set(const std::string& xml, const std::string& section, const std::string& key, const std::string& value) {
  std::string error;
  const std::optional<std::string> edited = SetProfileText(xml, section, key, value, error);
  EXPECT_TRUE(edited) << error;
  return edited.value_or("");
}

std::optional<std::string> Read(const std::string& xml, const std::string& section, const std::string& key) {
  const ProfileRead read = ReadProfileText(xml, section, key);
  EXPECT_TRUE(read.wellFormed) << read.error;
  return read.text;
}

TEST(ProfileFile, CreatesTheRootSectionAndKeyInAnEmptyDocument) {
  const std::string xml = Set("", "Quenta_M2_Pendant", "Macro1", "12");
  EXPECT_EQ(xml, "<?xml version=\"1.0\"?>\n<profile><Quenta_M2_Pendant><Macro1>12</Macro1></Quenta_M2_Pendant></profile>\n");
  EXPECT_EQ(Read(xml, "Quenta_M2_Pendant", "Macro1"), "12");
}

TEST(ProfileFile, AppendsNewSectionsAndKeysAfterTheirSiblingsAndKeepsEverythingElse) {
  const std::string host = "<?xml version=\"1.0\"?>\r\n<!-- host -->\r\n<Travix a=\"1>2\">\r\n  <Axes x='1'/>\r\n</Travix>\r\n";
  std::string xml = Set(host, "Quenta_M1_Pendant", "BUTTON0", "3");
  EXPECT_EQ(xml, "<?xml version=\"1.0\"?>\r\n<!-- host -->\r\n<Travix a=\"1>2\">\r\n  <Axes x='1'/>\r\n"
                 "<Quenta_M1_Pendant><BUTTON0>3</BUTTON0></Quenta_M1_Pendant></Travix>\r\n");
  xml = Set(xml, "Quenta_M1_Pendant", "BUTTON1", "-1");
  xml = Set(xml, "Quenta_M1_Pendant", "BUTTON0", "007");
  EXPECT_EQ(xml, "<?xml version=\"1.0\"?>\r\n<!-- host -->\r\n<Travix a=\"1>2\">\r\n  <Axes x='1'/>\r\n"
                 "<Quenta_M1_Pendant><BUTTON0>007</BUTTON0><BUTTON1>-1</BUTTON1></Quenta_M1_Pendant></Travix>\r\n");
}

TEST(ProfileFile, OpensSelfClosingElementsToPutContentIn) {
  EXPECT_EQ(Set("<profile/>", "S", "K", "1"), "<profile><S><K>1</K></S></profile>");
  EXPECT_EQ(Set("<profile><S /></profile>", "S", "K", "1"), "<profile><S ><K>1</K></S></profile>");
  EXPECT_EQ(Set("<profile><S><K/></S></profile>", "S", "K", "1"), "<profile><S><K>1</K></S></profile>");
}

TEST(ProfileFile, UsesTheFirstSectionAndKeyOfTheirNameAmongDirectChildrenOnly) {
  const std::string xml =
      "<p><X><S><K>deep</K></S></X><S><k>case</k><K>first</K><K>second</K></S><S><K>other</K></S></p>";
  EXPECT_EQ(Read(xml, "S", "K"), "first");
  EXPECT_EQ(Set(xml, "S", "K", "5"),
            "<p><X><S><K>deep</K></S></X><S><k>case</k><K>5</K><K>second</K></S><S><K>other</K></S></p>");
  EXPECT_EQ(Read("<p><X><S><K>deep</K></S></X></p>", "S", "K"), std::nullopt);
}

TEST(ProfileFile, ReadsTextWithEntitiesCdataAndEmptyKeys) {
  EXPECT_EQ(Read("<p><S><K>&lt;1&amp;2&#62;&#x41;</K></S></p>", "S", "K"), "<1&2>A");
  EXPECT_EQ(Read("<p><S><K><![CDATA[a<b]]><!-- c -->d</K></S></p>", "S", "K"), "a<bd");
  EXPECT_EQ(Read("<p><S><K/></S></p>", "S", "K"), "");
  EXPECT_EQ(Read("<p><S/></p>", "S", "K"), std::nullopt);
  EXPECT_EQ(Read("", "S", "K"), std::nullopt);
}

TEST(ProfileFile, RefusesDocumentsThatAreNotWellFormed) {
  for (const char* bad : {"<p><S></p>", "<p>", "<p></q>", "text", "<p/><q/>", "<p>&bogus;</p>", "<p a=\"1></p>",
                          "<p><!-- open</p>"}) {
    EXPECT_FALSE(ReadProfileText(bad, "S", "K").wellFormed) << bad;
    std::string error;
    EXPECT_FALSE(SetProfileText(bad, "S", "K", "1", error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(ProfileFile, SurvivesDeepNesting) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_FALSE(ReadProfileText(deep, "S", "K").wellFormed);
}

}  // namespace
}  // namespace quenta::sim
