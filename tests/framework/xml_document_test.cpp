#include "framework/XmlDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/Sandbox.h"

namespace OSTREL::File {
namespace {

TEST(XmlDocumentTest, NewDocumentIsTheDeclarationAndAnEmptyRoot) {
  CXmlDocument document("ServerInfoList");
  EXPECT_EQ(document.ToText(),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ServerInfoList>\n</ServerInfoList>");
}

TEST(XmlDocumentTest, AppendedElementsAreIndentedByDepth) {
  CXmlDocument document("Root");
  CXmlElement record = document.Root().AppendElement("Record");
  record.AppendNumber("Size", 4294967295u);
  record.AppendSigned("Time", -5);
  record.AppendText("Empty", "");
  CXmlElement inner = record.AppendElement("Inner");
  inner.AppendText("Name", "a<b&c");
  document.Root().AppendElement("Record");
  EXPECT_EQ(document.ToText(),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<Root>\n"
            "\t<Record>\n"
            "\t\t<Size>4294967295</Size>\n"
            "\t\t<Time>-5</Time>\n"
            "\t\t<Empty></Empty>\n"
            "\t\t<Inner>\n"
            "\t\t\t<Name>a&lt;b&amp;c</Name>\n"
            "\t\t</Inner>\n"
            "\t</Record>\n"
            "\t<Record></Record>\n"
            "</Root>");
}

TEST(XmlDocumentTest, ReadsNamesInAnyCaseFromElementsAndAttributes) {
  CXmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<list><ITEM a='1'><B>2</B><b>3</b></ITEM><item/><other/></list>"));
  const auto items = document.Root().Children("Item");
  ASSERT_EQ(items.size(), 2u);
  std::vector<std::pair<std::string, std::string>> fields;
  items[0].ForEachField([&](std::string_view name, std::string_view text) {
    fields.emplace_back(name, text);
  });
  EXPECT_EQ(fields, (std::vector<std::pair<std::string, std::string>>{
                        {"a", "1"}, {"B", "2"}, {"b", "3"}}));
  EXPECT_EQ(items[0].Value("A"), "1");
  EXPECT_EQ(items[0].Value("b"), "2");
  EXPECT_EQ(items[1].Value("b"), std::nullopt);
}

TEST(XmlDocumentTest, LoadRefusesWhatIsNotADocument) {
  tarn::test::Sandbox sandbox;
  CXmlDocument document;
  EXPECT_FALSE(document.Load(sandbox / "missing.dat"));
  for (const char* text : {"", "not xml", "<open>", "<?xml version=\"1.0\" ?>", "<a></b>"}) {
    sandbox.WriteFile("bad.dat", text);
    EXPECT_FALSE(document.Load(sandbox / "bad.dat")) << text;
    EXPECT_FALSE(document.Root());
  }
  EXPECT_FALSE(document.Load(sandbox.Root()));  // a folder
}

TEST(XmlDocumentTest, SaveReplacesTheFileAndLeavesNoTemporaryFiles) {
  tarn::test::Sandbox sandbox;
  sandbox.WriteFile("data/List.dat", "old");
  CXmlDocument document("List");
  document.Root().AppendText("Name", "\xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(document.Save(sandbox / "data/List.dat"));
  EXPECT_EQ(sandbox.ReadFile("data/List.dat"), document.ToText());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox / "data"),
                          std::filesystem::directory_iterator()),
            1);

  CXmlDocument reloaded;
  ASSERT_TRUE(reloaded.Load(sandbox / "data/List.dat"));
  EXPECT_EQ(reloaded.Root().Value("name"), "\xC3\xA9t\xC3\xA9");
}

TEST(XmlDocumentTest, FailedSaveKeepsTheOldFile) {
  tarn::test::Sandbox sandbox;
  // The rename cannot replace a non-empty folder: the save fails after writing the temp file.
  sandbox.WriteFile("target/keep", "old");
  CXmlDocument document("List");
  EXPECT_FALSE(document.Save(sandbox / "target"));
  EXPECT_EQ(sandbox.ReadFile("target/keep"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox.Root()),
                          std::filesystem::directory_iterator()),
            3);  // config, data and target only
  EXPECT_FALSE(document.Save(sandbox / "no/such/folder/List.dat"));
}

TEST(XmlDocumentTest, NumbersParseStrictly) {
  EXPECT_EQ(ParseUInt32(" 67305985\n"), 67305985u);
  EXPECT_EQ(ParseUInt32("4294967296"), std::nullopt);
  EXPECT_EQ(ParseUInt32("-1"), std::nullopt);
  EXPECT_EQ(ParseUInt32("12abc"), std::nullopt);
  EXPECT_EQ(ParseUInt32(""), std::nullopt);
  EXPECT_EQ(ParseUInt16("65536"), std::nullopt);
  EXPECT_EQ(ParseInt64("-132000000000000000"), -132000000000000000);
}

}  // namespace
}  // namespace OSTREL::File
