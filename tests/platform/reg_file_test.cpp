#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/RegFile.h"
#include "tests/support/CaseName.h"

namespace OSTREL::Platform {
namespace {

CRegHive Parse(std::string_view text, RegParseResult* result = nullptr) {
  CRegHive hive("HKEY_LOCAL_MACHINE");
  const auto parsed = ParseRegFile(text, hive, "");
  if (result != nullptr) *result = parsed;
  return hive;
}

CRegHive RoundTrip(const CRegHive& hive) { return Parse(FormatRegFile(hive)); }

TEST(RegFileTest, EveryValueTypeSurvivesARoundTrip) {
  CRegHive hive("HKEY_LOCAL_MACHINE");
  auto& key = hive.CreateKey("Software\\Ostrel\\TARN");
  key.SetValue("", CRegValue::String("default value"));
  key.SetValue("Quotes", CRegValue::String("say \"hi\" \\ C:\\Temp\\ \"\\\""));
  key.SetValue("Trailing backslash", CRegValue::String("C:\\"));
  key.SetValue("Unicode", CRegValue::String("Grüße, 日本語, 🎵"));
  key.SetValue("Lines", CRegValue::String("first\r\nsecond\nthird"));
  key.SetValue("Empty", CRegValue::String(""));
  key.SetValue("NULs", CRegValue::String(std::string("a\0b\0", 4)));
  key.SetValue("Expand", CRegValue::ExpandString("%HOME%/Grüße 🎵"));
  key.SetValue("Multi", CRegValue::MultiString({"one", "zwei ü", "🎵"}));
  key.SetValue("EmptyMulti", CRegValue::MultiString({}));
  key.SetValue("Dword", CRegValue::Dword(0x0000121d));
  key.SetValue("MaxDword", CRegValue::Dword(0xFFFFFFFF));
  key.SetValue("Binary", CRegValue::Binary({0x00, 0x01, 0xFE, 0xFF}));
  key.SetValue("EmptyBinary", CRegValue::Binary({}));
  std::vector<uint8_t> long_(300);
  for (size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<uint8_t>(i * 7);
  key.SetValue("Long", CRegValue::Binary(long_));
  key.SetValue("Qword", CRegValue::Binary({1, 2, 3, 4, 5, 6, 7, 8}, 0xb));
  key.SetValue("na\"me\\", CRegValue::Dword(7));
  hive.CreateKey("Software\\Empty Key");

  EXPECT_EQ(RoundTrip(hive).Root(), hive.Root());
}

// Quoted text that is not UTF-8 is read as UTF-8 with replacement characters, so that it
// survives being written in the hex(1) form a line break forces.
TEST(RegFileTest, QuotedTextIsReadAsUtf8) {
  const CRegHive hive = Parse(
      "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n"
      "\"Latin1\"=\"caf\xe9\"\n");
  const CRegHiveKey* key = hive.FindKey("K");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(*key->FindValue("Latin1")->AsString(), "caf\xEF\xBF\xBD");
}

TEST(RegFileTest, WritesTheExportLayout) {
  CRegHive hive("HKEY_LOCAL_MACHINE");
  auto& key = hive.CreateKey("Software\\A");
  key.SetValue("Name", CRegValue::String("a\"b\\c"));
  key.SetValue("Port", CRegValue::Dword(4662));
  key.SetValue("Hash", CRegValue::Binary({0x01, 0x02}));
  key.SetValue("", CRegValue::ExpandString("x"));
  EXPECT_EQ(FormatRegFile(hive),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\A]\n"
            "\"Name\"=\"a\\\"b\\\\c\"\n"
            "\"Port\"=dword:00001236\n"
            "\"Hash\"=hex:01,02\n"
            "@=hex(2):78,00,00,00\n\n");
}

TEST(RegFileTest, LongHexDataIsWrappedWithinEightyColumns) {
  CRegHive hive("HKEY_LOCAL_MACHINE");
  hive.CreateKey("K").SetValue("Blob", CRegValue::Binary(std::vector<uint8_t>(200, 0xAB)));
  const std::string text = FormatRegFile(hive);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
    start = end + 1;
  }
  EXPECT_NE(text.find(",\\\n  ab,"), std::string::npos);
}

TEST(RegFileTest, ReadsNamesCaseInsensitivelyAndKeepsTheStoredCase) {
  const CRegHive hive = Parse(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[hkey_local_machine\\SOFTWARE\\Ostrel]\r\n"
      "\"User Name\"=\"x\"\r\n"
      "[HKEY_LOCAL_MACHINE\\software\\ostrel\\Tarn]\r\n"
      "\"v\"=dword:1\r\n");
  const CRegHiveKey* key = hive.FindKey("Software\\OSTREL");
  ASSERT_NE(key, nullptr);
  ASSERT_NE(key->FindValue("user name"), nullptr);
  EXPECT_EQ(key->Values().front().first, "User Name");
  EXPECT_EQ(hive.Root().SubKeys().front()->Name(), "SOFTWARE");
  ASSERT_NE(hive.FindKey("SOFTWARE\\Ostrel\\TARN"), nullptr);
  EXPECT_EQ(hive.FindKey("software\\ostrel\\tarn")->FindValue("V")->AsDword(), 1u);
}

TEST(RegFileTest, ReadsContinuedHexLinesCommentsAndABom) {
  RegParseResult result;
  const CRegHive hive = Parse(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "; a comment\n"
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"Blob\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
      "\"Gone\"=-\n"
      "[-HKEY_LOCAL_MACHINE\\Other]\n",
      &result);
  EXPECT_TRUE(result.isRegFile);
  EXPECT_EQ(result.skippedLines, 0u);
  const CRegHiveKey* key = hive.FindKey("K");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(*key->FindValue("Blob")->AsBytes(), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(*key->FindValue("Multi")->AsMultiString(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(key->FindValue("Gone"), nullptr);
  EXPECT_EQ(hive.FindKey("Other"), nullptr);
}

class RegFileBadLineTest : public ::testing::TestWithParam<const char*> {};

// Each bad line is skipped on its own: the good values around it still load.
TEST_P(RegFileBadLineTest, SkipsTheLineAndKeepsTheRest) {
  const std::string text = std::string(
                               "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_LOCAL_MACHINE\\K]\n"
                               "\"Before\"=dword:00000001\n") +
                           GetParam() +
                           "\n[HKEY_LOCAL_MACHINE\\K]\n"
                           "\"After\"=\"ok\"\n";
  RegParseResult result;
  const CRegHive hive = Parse(text, &result);
  EXPECT_TRUE(result.isRegFile);
  EXPECT_GE(result.skippedLines, 1u);
  const CRegHiveKey* key = hive.FindKey("K");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->FindValue("Before")->AsDword(), 1u);
  ASSERT_NE(key->FindValue("After"), nullptr);
  EXPECT_EQ(key->Values().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Lines, RegFileBadLineTest,
                         ::testing::Values("\"Unterminated=\"x\"", "\"Name\"=\"no end",
                                           "\"Name\"=\"x\" junk", "\"Name\"x",
                                           "\"Name\"=dword:123456789", "\"Name\"=dword:xyz",
                                           "\"Name\"=dword:", "\"Name\"=hex:1,2,zz",
                                           "\"Name\"=hex:123", "\"Name\"=hex(4):01,02",
                                           "\"Name\"=hex(:01", "\"Name\"=qword:1",
                                           "[HKEY_LOCAL_MACHINE\\K", "[HKEY_CURRENT_USER\\K]",
                                           "garbage \x01\x02\xff", "\"Name\"="),
                         tarn::test::IndexAndText());

TEST(RegFileTest, AnythingWithoutTheHeaderLoadsAsEmpty) {
  for (const std::string& text :
       {std::string(""), std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\"\n"),
        std::string("\x00\x01\x02\xff\xfe garbage", 10),
        std::string("[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\"\n"),
        std::string("Windows Registry Editor Version 5.0")}) {
    RegParseResult result;
    const CRegHive hive = Parse(text, &result);
    EXPECT_FALSE(result.isRegFile);
    EXPECT_EQ(hive.Root(), CRegHiveKey());
  }
}

TEST(RegFileTest, SurvivesEveryTruncationOfAValidFile) {
  CRegHive hive("HKEY_LOCAL_MACHINE");
  auto& key = hive.CreateKey("Software\\Ostrel\\TARN");
  key.SetValue("Name", CRegValue::String("a \"quoted\" \\ value"));
  key.SetValue("Blob", CRegValue::Binary(std::vector<uint8_t>(64, 0x5A)));
  key.SetValue("Multi", CRegValue::MultiString({"x", "y"}));
  const std::string text = FormatRegFile(hive);
  for (size_t length = 0; length <= text.size(); ++length) Parse(text.substr(0, length));
  EXPECT_EQ(Parse(text).Root(), hive.Root());
}

TEST(KeyPathTest, SplitsOnBackslashesAndDropsEmptyParts) {
  EXPECT_EQ(SplitKeyPath("Software\\Ostrel\\TARN\\"),
            (std::vector<std::string>{"Software", "Ostrel", "TARN"}));
  EXPECT_EQ(SplitKeyPath("\\\\A\\\\B"), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(SplitKeyPath("").empty());
}

}  // namespace
}  // namespace OSTREL::Platform
