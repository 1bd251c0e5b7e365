#include <arpa/inet.h>

#include "engine/protocol/Ed2kLink.h"
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md4.h>
#include <gtest/gtest.h>

#include <string>

namespace P2P::Protocol {
namespace {

constexpr const char* kHash = "0123456789ABCDEF0123456789abcdef";

SEd2kLink Read(const std::string& text) {
  SEd2kLink link;
  SLinkError error;
  EXPECT_TRUE(ReadEd2kLink(text, link, error)) << text << " -> " << error.Message();
  return link;
}

TEST(Ed2kLinkTest, FileLinkInEveryFormReadsNameSizeAndHash) {
  for (const std::string& text : {std::string("ed2k://|file|song.mp3|4000|") + kHash + "|/",
                                  std::string("ED2K://|FILE|song.mp3|4000|") + kHash + "|/",
                                  std::string("tarn://|song.mp3|") + kHash + "|4000|",
                                  std::string("p2p://|song.mp3|") + kHash + "|4000|"}) {
    const SEd2kLink link = Read(text);
    EXPECT_EQ(link.kind, ELinkKind::kFile);
    EXPECT_EQ(link.name, "song.mp3");
    EXPECT_EQ(link.size, 4000u);
    EXPECT_EQ(link.hash.ToHex(), "0123456789ABCDEF0123456789ABCDEF");
  }
}

TEST(Ed2kLinkTest, NamesArePercentDecodedUtf8WithWindows1252Fallback) {
  EXPECT_EQ(Read(std::string("ed2k://|file|a%20b%7Cc.txt|1|") + kHash + "|/").name, "a b|c.txt");
  EXPECT_EQ(Read(std::string("ed2k://|file|%C3%A9t%C3%A9.ogg|1|") + kHash + "|/").name,
            "\xC3\xA9t\xC3\xA9.ogg");
  EXPECT_EQ(Read(std::string("ed2k://|file|\xC3\xA9.ogg|1|") + kHash + "|/").name, "\xC3\xA9.ogg");
  // A lone 0xE9 is not UTF-8: it is taken as Windows-1252 e-acute.
  EXPECT_EQ(Read(std::string("ed2k://|file|%E9.ogg|1|") + kHash + "|/").name, "\xC3\xA9.ogg");
}

TEST(Ed2kLinkTest, OptionalFieldsCarryAichRootPartHashesAndSources) {
  // Two parts plus the empty last part of an exact multiple; the file hash is their MD4.
  const std::string part1(32, 'A'), part2(32, 'B'), part3(32, 'C');
  std::string concatenated;
  for (const auto& hex : {part1, part2, part3}) {
    const auto bytes = _tagUnionHash::FromHex(hex)->bytes;
    concatenated.append(bytes.begin(), bytes.end());
  }
  _tagUnionHash fileHash;
  CryptoPP::Weak::MD4().CalculateDigest(fileHash.bytes.data(),
                                        reinterpret_cast<const uint8_t*>(concatenated.data()),
                                        concatenated.size());
  const std::string text = "ed2k://|file|big.iso|19456000|" + fileHash.ToHex() +
                           "|h=ABCDEFGHIJKLMNOPQRSTUVWXYZ234567|p=" + part1 + ":" + part2 + ":" +
                           part3 +
                           "|s=http://example.invalid/x|/|sources,127.0.0.1:4662,127.0.0.2:5000|/";
  const SEd2kLink link = Read(text);
  ASSERT_TRUE(link.aichRoot.has_value());
  EXPECT_EQ((*link.aichRoot)[0], 0x00);  // A=0, B=1: 00000 00001 ...
  EXPECT_EQ((*link.aichRoot)[1], 0x44);
  EXPECT_EQ((*link.aichRoot)[19], 0xDF);  // the low bits of 6 (11110), then 7 (11111)
  ASSERT_EQ(link.partHashes.size(), 3u);
  EXPECT_EQ(link.partHashes[1].ToHex(), part2);
  ASSERT_EQ(link.sources.size(), 2u);
  EXPECT_EQ(link.sources[1].address, inet_addr("127.0.0.2"));
  EXPECT_EQ(link.sources[1].port, 5000);
}

TEST(Ed2kLinkTest, ServerAndServerListLinks) {
  const SEd2kLink server = Read("ed2k://|server|127.0.0.1|4661|/");
  EXPECT_EQ(server.kind, ELinkKind::kServer);
  EXPECT_EQ(server.host, "127.0.0.1");
  EXPECT_EQ(server.port, 4661);
  const SEd2kLink list = Read("ed2k://|serverlist|/tmp/server.met|/");
  EXPECT_EQ(list.kind, ELinkKind::kServerList);
  EXPECT_EQ(list.url, "/tmp/server.met");
}

struct BadLink {
  const char* name;
  std::string text;
  std::string message;  // the start of the refusal's message
};

class Ed2kLinkRefusal : public ::testing::TestWithParam<BadLink> {};

TEST_P(Ed2kLinkRefusal, NamesTheFieldAndTheReason) {
  SEd2kLink link;
  SLinkError error;
  ASSERT_FALSE(ReadEd2kLink(GetParam().text, link, error));
  EXPECT_EQ(error.Message().substr(0, GetParam().message.size()), GetParam().message)
      << error.Message();
}

const std::string kH = kHash;
INSTANTIATE_TEST_SUITE_P(
    Links, Ed2kLinkRefusal,
    ::testing::Values(
        BadLink{"unknown_scheme", "http://|file|a|1|" + kH + "|/", "link: not an ed2k://"},
        BadLink{"unknown_type", "ed2k://|folder|a|1|" + kH + "|/", "type: \"folder\""},
        BadLink{"missing_hash", "ed2k://|file|a|1|/", "hash: missing"},
        BadLink{"hash_31_digits", "ed2k://|file|a|1|" + kH.substr(1) + "|/",
                "hash: 31 hexadecimal digits"},
        BadLink{"hash_bad_digit", "ed2k://|file|a|1|" + kH.substr(1) + "g|/",
                "hash: 'g' is not a hexadecimal digit"},
        BadLink{"size_zero", "ed2k://|file|a|0|" + kH + "|/", "size: 0"},
        BadLink{"size_above_largest", "ed2k://|file|a|274877906945|" + kH + "|/",
                "size: 274877906945 is above 274877906944"},
        BadLink{"size_not_decimal", "ed2k://|file|a|12x|" + kH + "|/",
                "size: 'x' is not a decimal digit"},
        BadLink{"empty_name", "ed2k://|file||1|" + kH + "|/", "name: empty"},
        BadLink{"name_260_chars", "ed2k://|file|" + std::string(260, 'n') + "|1|" + kH + "|/",
                "name: 260 characters, at most 259"},
        // Names come from any web page: plain UTF-8 text only.
        BadLink{"name_raw_bytes_not_utf8", "ed2k://|file|song\xFF\xFE.mp3|1|" + kH + "|/",
                "name: not UTF-8 text"},
        BadLink{"name_escapes_not_utf8_beside_utf8", "ed2k://|file|\xC3\xA9%E9.mp3|1|" + kH + "|/",
                "name: its escapes do not give UTF-8"},
        BadLink{"name_escaped_nul", "ed2k://|file|a%00b|1|" + kH + "|/",
                "name: control character U+0000 at character 2"},
        BadLink{"name_escaped_terminal_escape", "ed2k://|file|ab%1B[2J|1|" + kH + "|/",
                "name: control character U+001B at character 3"},
        BadLink{"name_raw_tab", "ed2k://|file|a\tb|1|" + kH + "|/",
                "name: control character U+0009"},
        BadLink{"name_escaped_carriage_return", "ed2k://|file|a%0D|1|" + kH + "|/",
                "name: control character U+000D"},
        BadLink{"name_c1_control_in_utf8", "ed2k://|file|a%C2%85|1|" + kH + "|/",
                "name: control character U+0085"},
        BadLink{"name_windows1252_undefined_byte", "ed2k://|file|a%81|1|" + kH + "|/",
                "name: control character U+0081"},
        BadLink{"name_260_escaped_chars",
                "ed2k://|file|" +
                    [] {
                      std::string name;
                      for (int i = 0; i < 260; ++i) name += "%C3%A9";
                      return name;
                    }() +
                    "|1|" + kH + "|/",
                "name: 260 characters, at most 259"},
        BadLink{"serverlist_url_control", "ed2k://|serverlist|http://a/%0A\x01|/",
                "url: 0x01 cannot stand"},
        BadLink{"bad_percent_escape", "ed2k://|file|a%2|1|" + kH + "|/", "name: bad percent"},
        BadLink{"no_closing_slash", "ed2k://|file|a|1|" + kH + "|", "link: does not end"},
        BadLink{"aich_bad_base32",
                "ed2k://|file|a|1|" + kH + "|h=ABCDEFGHIJKLMNOPQRSTUVWXYZ234561|/",
                "h: '1' is not a base32 digit"},
        BadLink{"aich_short", "ed2k://|file|a|1|" + kH + "|h=ABC|/", "h: 3 base32 digits"},
        BadLink{"parts_wrong_count", "ed2k://|file|a|9728000|" + kH + "|p=" + kH + "|/",
                "p: 1 part hashes, a file of this size has 2"},
        BadLink{"parts_do_not_give_hash",
                "ed2k://|file|a|5|" + kH + "|p=" + std::string(32, 'A') + "|/",
                "p: the part hashes do not give"},
        BadLink{"source_not_ipv4", "ed2k://|file|a|1|" + kH + "|/|sources,host:4662|/",
                "sources: host is not an IPv4"},
        BadLink{"source_port_zero", "ed2k://|file|a|1|" + kH + "|/|sources,127.0.0.1:0|/",
                "sources: 0 is not a port"},
        BadLink{"tarn_trailing_text", "tarn://|a|" + kH + "|1|x|", "link: unexpected text"},
        BadLink{"server_port_too_big", "ed2k://|server|127.0.0.1|70000|/", "port: 70000 is above"},
        BadLink{"server_bad_host", "ed2k://|server|a b|4661|/", "host: ' ' cannot stand"}),
    [](const ::testing::TestParamInfo<BadLink>& info) { return std::string(info.param.name); });

TEST(Ed2kLinkTest, FormattedLinkReadsBackWithTheSameName) {
  SEd2kLink link;
  link.name = "a b|c%d \xC3\xA9.txt";
  link.size = 123;
  link.hash = *_tagUnionHash::FromHex(kHash);
  const SEd2kLink back = Read(FormatEd2kFileLink(link));
  EXPECT_EQ(back.name, link.name);
  EXPECT_EQ(back.size, 123u);
  EXPECT_EQ(back.hash, link.hash);
}

// The longest names read back from the links formatted of them: the limit counts characters,
// so a name of 259 spaces (each formatted as "%20") or of 259 two-byte characters still fits.
TEST(Ed2kLinkTest, LongestNamesReadBackFromTheirFormattedLinks) {
  std::string accents;
  for (int i = 0; i < 259; ++i) accents += "\xC3\xA9";
  for (const std::string& name : {std::string(259, ' '), accents, std::string(259, '%')}) {
    SEd2kLink link;
    link.name = name;
    link.size = 5;
    link.hash = *_tagUnionHash::FromHex(kHash);
    EXPECT_EQ(Read(FormatEd2kFileLink(link)).name, name);
  }
}

// A fuzzer's find: raw bytes that are not UTF-8 and control characters behind a percent
// escape. Refused, with a message that is plain text.
TEST(Ed2kLinkTest, NameOfRawBytesAndControlsIsRefusedInPlainText) {
  std::string text = "ed2k://|file|song%20";
  text += std::string(40, '\xFF') + "\x0Bn\t\t\x1B" + std::string(1, '\0') + "%1B.mp3|4000|" + kH +
          "|/\x0C";
  SEd2kLink link;
  SLinkError error;
  ASSERT_FALSE(ReadEd2kLink(text, link, error));
  EXPECT_EQ(error.Message(), "name: not UTF-8 text");
  ASSERT_FALSE(ReadEd2kLink("ed2k://|\xFF\x1B|a|1|" + kH + "|/", link, error));
  EXPECT_EQ(error.Message(), "type: \"\\xff\\x1b\" is not file, server or serverlist");
}

}  // namespace
}  // namespace P2P::Protocol
