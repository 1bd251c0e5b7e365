#include <gtest/gtest.h>

#include <filesystem>

#include "platform/XmlFile.h"
#include "tests/support/Sandbox.h"

namespace OSTREL::File {
namespace {

TEST(XmlFileTest, LoadRefusesWhatIsNotADocument) {
  tarn::test::Sandbox sandbox;
  CXmlDocument document;
  EXPECT_FALSE(LoadXmlFile(document, sandbox / "missing.dat"));
  for (const char* text : {"", "not xml", "<open>", "<?xml version=\"1.0\" ?>", "<a></b>"}) {
    sandbox.WriteFile("bad.dat", text);
    EXPECT_FALSE(LoadXmlFile(document, sandbox / "bad.dat")) << text;
    EXPECT_FALSE(document.Root());
  }
  EXPECT_FALSE(LoadXmlFile(document, sandbox.Root()));  // a folder
}

TEST(XmlFileTest, SaveReplacesTheFileAndLeavesNoTemporaryFiles) {
  tarn::test::Sandbox sandbox;
  sandbox.WriteFile("data/List.dat", "old");
  CXmlDocument document("List");
  document.Root().AppendText("Name", "\xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(SaveXmlFile(document, sandbox / "data/List.dat"));
  EXPECT_EQ(sandbox.ReadFile("data/List.dat"), document.ToText());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox / "data"),
                          std::filesystem::directory_iterator()),
            1);

  CXmlDocument reloaded;
  ASSERT_TRUE(LoadXmlFile(reloaded, sandbox / "data/List.dat"));
  EXPECT_EQ(reloaded.Root().Value("name"), "\xC3\xA9t\xC3\xA9");
}

TEST(XmlFileTest, FailedSaveKeepsTheOldFile) {
  tarn::test::Sandbox sandbox;
  // The rename cannot replace a non-empty folder: the save fails after writing the temp file.
  sandbox.WriteFile("target/keep", "old");
  CXmlDocument document("List");
  EXPECT_FALSE(SaveXmlFile(document, sandbox / "target"));
  EXPECT_EQ(sandbox.ReadFile("target/keep"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox.Root()),
                          std::filesystem::directory_iterator()),
            3);  // config, data and target only
  EXPECT_FALSE(SaveXmlFile(document, sandbox / "no/such/folder/List.dat"));
}

}  // namespace
}  // namespace OSTREL::File
