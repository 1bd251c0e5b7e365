#include "engine/hashing/Digest.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/engine/hashing/HashReference.h"

namespace P2P::HASH {
namespace {

using tarn::test::HexOf;

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(SHA1Test, GivesTheDigestsOfTheStandardsExamples) {
  EXPECT_EQ(HexOf(SHA1Of(Bytes("")).bytes), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(HexOf(SHA1Of(Bytes("abc")).bytes), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(HexOf(SHA1Of(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")).bytes),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  // A million times 'a', fed in pieces that straddle the 64-byte blocks.
  CSHA1Digest digest;
  const std::string piece(1000, 'a');
  for (int i = 0; i < 1000; ++i) digest.Update(Bytes(piece));
  EXPECT_EQ(HexOf(digest.Final().bytes), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// Every length around the padding's block boundaries, fed whole and in uneven pieces, the
// digest restarting after Final, and the one-shot forms agreeing with the incremental one.
TEST(SHA1Test, AgreesWithTheReferenceForAnyLengthAndAnySplit) {
  const std::vector<uint8_t> bytes = tarn::test::PseudoRandomBytes(300, 12);
  CSHA1Digest sha1;
  for (size_t length = 0; length <= bytes.size(); ++length) {
    const std::string expected = HexOf(tarn::test::RefSHA1(bytes.data(), length));
    sha1.Update(std::span(bytes).first(length));
    ASSERT_EQ(HexOf(sha1.Final().bytes), expected) << length << " bytes at once";
    for (const auto& [offset, size] : tarn::test::UnevenPieces(length))
      sha1.Update(std::span(bytes).subspan(offset, size));
    ASSERT_EQ(HexOf(sha1.Final().bytes), expected) << length << " bytes in pieces";
    ASSERT_EQ(HexOf(SHA1Of(std::span(bytes).first(length)).bytes), expected) << length;
  }
  _tagStructAICHHash left, right;
  std::copy(bytes.begin(), bytes.begin() + 20, left.bytes.begin());
  std::copy(bytes.begin() + 20, bytes.begin() + 40, right.bytes.begin());
  EXPECT_EQ(HexOf(SHA1Of(left, right).bytes), HexOf(tarn::test::RefSHA1(bytes.data(), 40)));
}

}  // namespace
}  // namespace P2P::HASH
