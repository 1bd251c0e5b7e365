#include "engine/base/MD4.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/engine/hashing/HashReference.h"

namespace P2P::HASH {
namespace {

using tarn::test::HexOf;

std::string MD4Hex(std::string_view text) {
  CMD4 md4;
  md4.Update(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  return HexOf(md4.Final().bytes);
}

TEST(MD4Test, GivesTheReferenceDigestsOfRfc1320) {
  EXPECT_EQ(MD4Hex(""), "31d6cfe0d16ae931b73c59d7e0c089c0");
  EXPECT_EQ(MD4Hex("a"), "bde52cb31de33e46245e05fbdbd6fb24");
  EXPECT_EQ(MD4Hex("abc"), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(MD4Hex("message digest"), "d9130a8164549fe818874806e1c7014b");
  EXPECT_EQ(MD4Hex("abcdefghijklmnopqrstuvwxyz"), "d79e1c308aa5bbcdeea8ed63df412da9");
  EXPECT_EQ(MD4Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "043f8582f241db351ce627e153e7f0e4");
  EXPECT_EQ(MD4Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                   "1234567890"),
            "e33b4ddc9c38f2199c3e7b164fcc0536");
}

// Every length around the padding's block boundaries, fed whole and in uneven pieces, and
// the digest restarting after Final.
TEST(MD4Test, AgreesWithTheReferenceForAnyLengthAndAnySplit) {
  const std::vector<uint8_t> bytes = tarn::test::PseudoRandomBytes(300, 11);
  CMD4 md4;
  for (size_t length = 0; length <= bytes.size(); ++length) {
    const std::string expected = HexOf(tarn::test::RefMD4(bytes.data(), length));
    md4.Update(std::span(bytes).first(length));
    ASSERT_EQ(HexOf(md4.Final().bytes), expected) << length << " bytes at once";
    for (const auto& [offset, size] : tarn::test::UnevenPieces(length))
      md4.Update(std::span(bytes).subspan(offset, size));
    ASSERT_EQ(HexOf(md4.Final().bytes), expected) << length << " bytes in pieces";
  }
}

}  // namespace
}  // namespace P2P::HASH
