// One suite for every XML document backend: it runs against the native
// library and, in the Windows build under Wine, against the COM DOM.
#include "profile/xml_document.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace quenta {
namespace {

class XmlDocumentTest : public ::testing::Test {
 protected:
  std::unique_ptr<XmlDocument> LoadText(const std::string& xml) {
    WriteFile(folder_.File("in.xml"), xml);
    std::unique_ptr<XmlDocument> document = CreateXmlDocument();
    EXPECT_NE(document, nullptr);
    if (document != nullptr) {
      EXPECT_TRUE(document->Load(folder_.File("in.xml"))) << xml;
    }
    return document;
  }
  static std::string SaveText(XmlDocument& document) {
    std::string bytes;
    EXPECT_TRUE(document.Serialize(bytes));
    return bytes;
  }

  TempFolder folder_;
};

TEST_F(XmlDocumentTest, LoadRefusesWhatIsNotOneWellFormedDocument) {
  const std::string broken[] = {
      "",
      "<profile><A>1</A>",                    // truncated
      "<profile><A>1</B></profile>",          // mismatched
      "<a/><b/>",                             // two roots
      "just text",
      std::string("\xFF\xFE<\0p\0", 6),     // UTF-16, cut off
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?><p/>",  // 8 bits that claim 16
      "  \n",
  };
  for (const std::string& xml : broken) {
    WriteFile(folder_.File("bad.xml"), xml);
    std::unique_ptr<XmlDocument> document = CreateXmlDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_FALSE(document->Load(folder_.File("bad.xml"))) << xml;
  }
  std::unique_ptr<XmlDocument> document = CreateXmlDocument();
  EXPECT_FALSE(document->Load(folder_.File("missing.xml")));
  EXPECT_FALSE(document->DocumentElement());
}

TEST_F(XmlDocumentTest, FileNamesAreTakenLiterallyNotAsAddresses) {
  for (const std::string name : {"Mill #2.xml", "Mill%20A.xml", "Mill;x=1.xml"}) {
    const std::string path = folder_.File(name);
    WriteFile(path, "<profile><k>" + name + "</k></profile>");
    WriteFile(folder_.File("Mill "), "<profile><k>wrong file</k></profile>");
    WriteFile(folder_.File("Mill A.xml"), "<profile><k>wrong file</k></profile>");
    std::unique_ptr<XmlDocument> document = CreateXmlDocument();
    ASSERT_TRUE(document->Load(path)) << name;
    EXPECT_EQ(document->Text(document->SelectSingleNode(document->DocumentElement(), "k")), name);
  }
}

TEST_F(XmlDocumentTest, SelectsOnlyTheFirstDirectChildElementOfThatName) {
  auto document = LoadText(
      "<r><?k pi?><!--k--><a><k>deep</k></a><k>first</k><k>second</k><kk>longer</kk></r>");
  const XmlElement root = document->DocumentElement();
  ASSERT_TRUE(root);
  EXPECT_EQ(document->Text(document->SelectSingleNode(root, "k")), "first");
  EXPECT_EQ(document->Text(document->SelectSingleNode(root, "kk")), "longer");
  EXPECT_FALSE(document->SelectSingleNode(root, "K"));
  EXPECT_FALSE(document->SelectSingleNode(root, "deep"));
  const XmlElement a = document->SelectSingleNode(root, "a");
  EXPECT_EQ(document->Text(document->SelectSingleNode(a, "k")), "deep");
}

TEST_F(XmlDocumentTest, TextJoinsAllTextInsideAndKeepsWhiteSpace) {
  auto document = LoadText("<r><k>4<![CDATA[2]]><i>7</i></k><w> 5 </w><e/><b>\n</b></r>");
  const XmlElement root = document->DocumentElement();
  EXPECT_EQ(document->Text(document->SelectSingleNode(root, "k")), "427");
  EXPECT_EQ(document->Text(document->SelectSingleNode(root, "w")), " 5 ");
  EXPECT_EQ(document->Text(document->SelectSingleNode(root, "e")), "");
  EXPECT_EQ(document->Text(document->SelectSingleNode(root, "b")), "\n");
}

TEST_F(XmlDocumentTest, SetTextReplacesTheWholeContent) {
  auto document = LoadText("<r><k>1<i>2</i><!--c--></k></r>");
  const XmlElement key = document->SelectSingleNode(document->DocumentElement(), "k");
  const XmlElement inner = document->SelectSingleNode(key, "i");
  ASSERT_TRUE(inner);
  document->SetText(key, "-12");
  EXPECT_EQ(document->Text(key), "-12");
  EXPECT_FALSE(document->SelectSingleNode(key, "i"));
  const std::string saved = SaveText(*document);
  EXPECT_NE(saved.find("<k>-12</k>"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("<!--c-->"), std::string::npos) << saved;
}

TEST_F(XmlDocumentTest, BuildsADocumentFromNothingByAppendingLast) {
  std::unique_ptr<XmlDocument> document = CreateXmlDocument();
  ASSERT_NE(document, nullptr);
  const XmlElement root = document->AppendChild(XmlElement{}, document->CreateElement("profile"));
  ASSERT_TRUE(root);
  EXPECT_TRUE(document->DocumentElement());
  const XmlElement second = document->CreateElement("second");
  document->AppendChild(root, document->CreateElement("first"));
  const XmlElement appended = document->AppendChild(root, second);
  document->SetText(document->AppendChild(appended, document->CreateElement("k")), "7");
  const std::string saved = SaveText(*document);

  auto reloaded = LoadText(saved);
  const XmlElement again = reloaded->SelectSingleNode(reloaded->DocumentElement(), "second");
  EXPECT_EQ(reloaded->Text(reloaded->SelectSingleNode(again, "k")), "7");
  EXPECT_LT(saved.find("<profile"), saved.find("<first"));
  EXPECT_LT(saved.find("<first"), saved.find("<second"));
}

TEST_F(XmlDocumentTest, RemovesAChildFoundThroughItsParent) {
  auto document = LoadText("<r><s><a>1</a><b></b><c>3</c></s></r>");
  const XmlElement section = document->SelectSingleNode(document->DocumentElement(), "s");
  const XmlElement b = document->SelectSingleNode(section, "b");
  const XmlElement parent = document->ParentNode(b);
  ASSERT_TRUE(parent);
  document->RemoveChild(parent, b);
  EXPECT_FALSE(document->SelectSingleNode(section, "b"));
  EXPECT_FALSE(document->ParentNode(document->DocumentElement()));  // the document itself is no element
  const std::string saved = SaveText(*document);
  EXPECT_NE(saved.find("<s><a>1</a><c>3</c></s>"), std::string::npos) << saved;
}

TEST_F(XmlDocumentTest, SavesTheHostsOtherContentBack) {
  auto document = LoadText(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE Mill>\n"
      "<!-- host notes -->\n"
      "<?host-tool keep?>\n"
      "<Mill units=\"mm\">\n"
      "  <Axis name=\"X\">left &amp; right</Axis>\n"
      "</Mill>\n");
  document->AppendChild(document->DocumentElement(), document->CreateElement("Added"));
  const std::string saved = SaveText(*document);
  for (const char* kept : {"<!DOCTYPE Mill>", "<!-- host notes -->", "<?host-tool keep?>", "units=\"mm\"",
                           "\n  <Axis name=\"X\">left &amp; right</Axis>\n", "<Added"}) {
    EXPECT_NE(saved.find(kept), std::string::npos) << kept << " missing from\n" << saved;
  }
}

// What a save reads back is judged by this when the bytes differ: encoding
// and declaration aside, the same content, and only that, digests alike.
TEST_F(XmlDocumentTest, ContentDigestsAreAlikeForTheSameContentInAnyEncoding) {
  const auto digest = [&](const std::string& bytes) {
    WriteFile(folder_.File("d.xml"), bytes);
    std::unique_ptr<XmlDocument> document = CreateXmlDocument();
    std::uint64_t value = 0;
    EXPECT_TRUE(document->Load(folder_.File("d.xml")) && document->ContentDigest(value)) << bytes;
    return value;
  };
  const auto latin1 = [](const char* text) { return std::string("<r a=\"1\"><!--c--><k>") + text + "</k></r>"; };
  std::string utf16 = "\xFF\xFE";
  for (const char c : "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + latin1("caf\xE9")) utf16 += std::string{c, '\0'};
  const std::uint64_t same = digest(latin1("caf\xC3\xA9"));
  EXPECT_EQ(digest("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + latin1("caf\xC3\xA9")), same);
  EXPECT_EQ(digest("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + latin1("caf\xE9")), same);
  EXPECT_EQ(digest(utf16), same);
  EXPECT_NE(digest(latin1("cafe")), same);
  EXPECT_NE(digest("<r a=\"2\"><!--c--><k>caf\xC3\xA9</k></r>"), same);
  EXPECT_NE(digest("<r a=\"1\"><k>caf\xC3\xA9</k></r>"), same);
}

TEST_F(XmlDocumentTest, SavesInTheEncodingItWasLoadedIn) {
  auto document = LoadText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><n>caf\xE9</n></r>");
  document->SetText(document->AppendChild(document->DocumentElement(), document->CreateElement("k")), "1");
  const std::string saved = SaveText(*document);
  EXPECT_NE(saved.find("caf\xE9<"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("caf\xC3\xA9"), std::string::npos) << saved;
}

}  // namespace
}  // namespace quenta
