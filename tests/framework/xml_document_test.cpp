#include <gtest/gtest.h>

#include <map>

#include "framework/XmlDocument.h"

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
  ASSERT_TRUE(document.LoadText("<list><ITEM a='1'><B>2</B><b>3</b></ITEM><item/><other/></list>"));
  const auto items = document.Root().Children("Item");
  ASSERT_EQ(items.size(), 2u);
  std::vector<std::pair<std::string, std::string>> fields;
  items[0].ForEachField(
      [&](std::string_view name, std::string_view text) { fields.emplace_back(name, text); });
  EXPECT_EQ(fields,
            (std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"B", "2"}, {"b", "3"}}));
  EXPECT_EQ(items[0].Value("A"), "1");
  EXPECT_EQ(items[0].Value("b"), "2");
  EXPECT_EQ(items[1].Value("b"), std::nullopt);
}

TEST(XmlDocumentTest, LoadTextRefusesWhatIsNotADocument) {
  CXmlDocument document;
  for (const char* text : {"", "not xml", "<open>", "<?xml version=\"1.0\" ?>", "<a></b>"}) {
    EXPECT_FALSE(document.LoadText(text)) << text;
    EXPECT_FALSE(document.Root());
  }
}

// Data files are loaded in place with element texts kept in their elements: reading, editing
// and writing must come out as from a document loaded from a copy.
TEST(XmlDocumentTest, OwnedTextLoadsReadsEditsAndWritesAsACopiedOne) {
  const std::string text = std::string(CXmlDocument::kDeclaration) +
                           "\n<Root>\n\t<Record a=\"x\">\n\t\t<Name>a&lt;b</Name>"
                           "\n\t\t<Empty></Empty>\n\t\t<Inner>\n\t\t\t<Id>7</Id>\n\t\t</Inner>"
                           "\n\t</Record>\n</Root>";
  CXmlDocument copied, owned;
  ASSERT_TRUE(copied.LoadText(text));
  ASSERT_TRUE(owned.LoadOwnedText(text));
  EXPECT_EQ(owned.ToText(), copied.ToText());
  for (CXmlDocument* document : {&copied, &owned}) {
    CXmlElement record = document->Root().Children("record").at(0);
    EXPECT_EQ(record.Value("Name"), "a<b");
    EXPECT_EQ(record.Value("Empty"), "");
    EXPECT_EQ(record.Children("Inner").at(0).Value("Id"), "7");
    record.AppendText("Added", "new");
    EXPECT_TRUE(record.RemoveChild(record.Children("Empty").at(0)));
  }
  EXPECT_EQ(owned.ToText(), copied.ToText());
  EXPECT_FALSE(owned.LoadOwnedText(text.substr(0, text.size() - 3)));
  EXPECT_FALSE(owned.Root());
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
