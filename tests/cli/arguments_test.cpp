#include <gtest/gtest.h>

#include "cli/ArgumentParser.h"
#include "cli/Targets.h"

namespace tarn::cli {
namespace {

const SOptionSpec kSearchSpec{{"--type", "--wait"}, {"--json"}};

TEST(ParseArguments, WordsValuesAndFlagsInAnyOrder) {
  SParsedArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseArguments({"free", "--type", "Audio", "music", "--json", "--wait=3"}, kSearchSpec,
                             parsed, error)) << error;
  EXPECT_EQ(parsed.words, (std::vector<std::string>{"free", "music"}));
  EXPECT_EQ(parsed.Value("--type"), "Audio");
  EXPECT_EQ(parsed.Value("--wait"), "3");
  EXPECT_TRUE(parsed.Has("--json"));
  EXPECT_FALSE(parsed.Value("--ext").has_value());
}

TEST(ParseArguments, DoubleDashEndsTheOptionsAndADashAloneIsAWord) {
  SParsedArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseArguments({"-", "--", "--json", "-x"}, kSearchSpec, parsed, error));
  EXPECT_EQ(parsed.words, (std::vector<std::string>{"-", "--json", "-x"}));
  EXPECT_FALSE(parsed.Has("--json"));
}

TEST(ParseArguments, NamesTheOptionAtFault) {
  SParsedArguments parsed;
  std::string error;
  EXPECT_FALSE(ParseArguments({"--size", "3"}, kSearchSpec, parsed, error));
  EXPECT_EQ(error, "unknown option --size");
  EXPECT_FALSE(ParseArguments({"word", "--type"}, kSearchSpec, parsed, error));
  EXPECT_EQ(error, "--type needs a value");
  EXPECT_FALSE(ParseArguments({"--json=yes"}, kSearchSpec, parsed, error));
  EXPECT_EQ(error, "--json takes no value");
}

TEST(ReadKey, DecimalKeysOnly) {
  EXPECT_EQ(ReadKey("7"), 7);
  EXPECT_EQ(ReadKey("2147483647"), INT32_MAX);
  for (const char* text : {"", "0", "-1", "+1", "1e3", "2147483648", "99999999999", "0x10", " 1"})
    EXPECT_FALSE(ReadKey(text).has_value()) << text;
}

TEST(ReadDownloadTarget, KeyOrFileLink) {
  SDownloadTarget target;
  std::string error;
  ASSERT_TRUE(ReadDownloadTarget("12", target, error));
  EXPECT_EQ(target.resultKey, 12);
  EXPECT_FALSE(target.link.has_value());
  ASSERT_TRUE(ReadDownloadTarget(
      "ed2k://|file|a%20b.txt|1000|0123456789ABCDEF0123456789ABCDEF|/", target, error)) << error;
  ASSERT_TRUE(target.link.has_value());
  EXPECT_EQ(target.link->name, "a b.txt");
  EXPECT_EQ(target.link->size, 1000u);
}

TEST(ReadDownloadTarget, BadLinksNameTheField) {
  SDownloadTarget target;
  std::string error;
  EXPECT_FALSE(ReadDownloadTarget("ed2k://|file|a.txt|1000|0123456789ABCDEF|/", target, error));
  EXPECT_NE(error.find("bad link: "), std::string::npos);
  EXPECT_NE(error.find("hash"), std::string::npos) << error;
  EXPECT_FALSE(ReadDownloadTarget("ed2k://|server|127.0.0.1|4661|/", target, error));
  EXPECT_NE(error.find("servers add"), std::string::npos) << error;
  EXPECT_FALSE(ReadDownloadTarget("not a link", target, error));
}

TEST(ReadServerTarget, AddressPortOrServerLink) {
  SServerTarget target;
  std::string error;
  ASSERT_TRUE(ReadServerTarget("127.0.0.1:4661", target, error)) << error;
  EXPECT_EQ(target.host, "127.0.0.1");
  EXPECT_EQ(target.port, 4661);
  ASSERT_TRUE(ReadServerTarget("ed2k://|server|127.0.0.2|4242|/", target, error)) << error;
  EXPECT_EQ(target.host, "127.0.0.2");
  EXPECT_EQ(target.port, 4242);
  for (const char* text : {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:4661x",
                           "host.example:4661", "300.0.0.1:4661", "ed2k://|server|127.0.0.1|/"})
    EXPECT_FALSE(ReadServerTarget(text, target, error)) << text;
}

}  // namespace
}  // namespace tarn::cli
