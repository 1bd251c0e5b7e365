#include <gtest/gtest.h>

#include <vector>

#include "engine/hashing/HashConstants.h"
#include "engine/hashing/HashList.h"
#include "tests/engine/hashing/HashReference.h"

namespace P2P::HASH::MD4_HASH {
namespace {

_tagUnionHash HashOf(uint8_t fill) {
  _tagUnionHash hash;
  hash.bytes.fill(fill);
  return hash;
}

TEST(HashListTest, DerivesTheFileHash) {
  CTARNNetHashList list;
  EXPECT_TRUE(list.DeriveFileHash().IsZero());
  EXPECT_FALSE(list.Matches(_tagUnionHash{}));  // an empty list never matches

  list.Add(HashOf(1));
  EXPECT_EQ(list.DeriveFileHash(), HashOf(1));
  EXPECT_TRUE(list.Matches(HashOf(1)));

  list.Add(HashOf(2));
  std::vector<uint8_t> joined(16, 1);
  joined.insert(joined.end(), 16, 2);
  EXPECT_EQ(list.DeriveFileHash().bytes, tarn::test::RefMD4(joined.data(), joined.size()));
  EXPECT_FALSE(list.Matches(HashOf(1)));
  EXPECT_TRUE(list.Contains(HashOf(2)));
  EXPECT_FALSE(list.Contains(HashOf(3)));
}

std::vector<uint8_t> HashSetBytes(uint16_t count, size_t hashes) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
  for (size_t i = 0; i < hashes; ++i) bytes.insert(bytes.end(), 16, static_cast<uint8_t>(i + 1));
  return bytes;
}

struct HashSetCase {
  const char* name;
  uint64_t fileSize;
  uint16_t count;
  size_t hashesPresent;
  bool accepted;
};

TEST(HashListTest, ReadsOnlyHashSetsOfTheRightCount) {
  const HashSetCase cases[] = {
      {"single part needs none", kPartSize - 1, 0, 0, true},
      {"single part with one", kPartSize - 1, 1, 1, false},
      {"exact part gets two", kPartSize, 2, 2, true},
      {"two parts", kPartSize + 1, 2, 2, true},
      {"one too few", kPartSize + 1, 1, 1, false},
      {"one too many", kPartSize + 1, 3, 3, false},
      {"bytes missing", 3 * kPartSize, 4, 3, false},
      {"largest file", 4290048000u, 442, 442, true},
      {"count beyond the file", 4290048000u, 0xFFFF, 442, false},
      {"one byte beyond it", 4290048001u, 442, 442, true},
      {"above 32 bits", uint64_t{1} << 32, 442, 442, true},
      {"largest large file", uint64_t{256} << 30, 28257, 28257, true},
      {"largest large file, one short", uint64_t{256} << 30, 28256, 28256, false},
  };
  for (const auto& c : cases) {
    CTARNNetHashList list;
    list.SetFileSize(c.fileSize);
    list.Add(HashOf(9));  // a read always starts from an empty list
    const auto bytes = HashSetBytes(c.count, c.hashesPresent);
    Protocol::CStreamReader reader(bytes);
    EXPECT_EQ(list.ReadHashSet(reader), c.accepted) << c.name;
    EXPECT_EQ(list.Size(), c.accepted ? c.count : 0u) << c.name;
    if (c.accepted && c.count > 0) {
      EXPECT_EQ(list[c.count - 1], HashOf(static_cast<uint8_t>(c.count)));
    }
  }
  CTARNNetHashList list;
  std::vector<uint8_t> oneByte{2};
  Protocol::CStreamReader reader(oneByte);
  EXPECT_FALSE(list.ReadHashSet(reader));
}

// Offsets past 32 bits: part starts and lengths stay exact, and a file of N parts has N
// parts in its hash set (plus the empty last one when it ends on a part boundary).
TEST(HashListTest, PartMathsHoldsBeyond32Bits) {
  struct Case {
    uint64_t size;
    uint32_t parts;
    uint32_t lastLength;
  };
  const Case cases[] = {
      {4290048000u, 441, kPartSize},
      {4290048001u, 442, 1},
      {0xFFFFFFFFu, 442, 0xFFFFFFFFu - 441u * kPartSize},
      {uint64_t{1} << 32, 442, static_cast<uint32_t>((uint64_t{1} << 32) - 441u * kPartSize)},
      {(uint64_t{1} << 32) + 1, 442,
       static_cast<uint32_t>((uint64_t{1} << 32) + 1 - 441u * kPartSize)},
      {uint64_t{256} << 30, 28257,
       static_cast<uint32_t>((uint64_t{256} << 30) - 28256ull * kPartSize)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PartCount(c.size), c.parts) << c.size;
    EXPECT_EQ(PartLength(c.size, c.parts - 1), c.lastLength) << c.size;
    EXPECT_EQ(PartStart(c.parts - 1) + c.lastLength, c.size) << c.size;
    EXPECT_EQ(PartLength(c.size, c.parts), 0u) << c.size;
    EXPECT_EQ(HashSetCount(c.size), c.size % kPartSize == 0 ? c.parts + 1 : c.parts) << c.size;
  }
  EXPECT_EQ(PartStart(28256), 28256ull * kPartSize);
}

TEST(HashListTest, WrittenHashSetReadsBack) {
  CTARNNetHashList list;
  list.SetFileSize(2 * kPartSize + 5);
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  list.Add(HashOf(1));
  list.Add(HashOf(2));
  EXPECT_FALSE(list.WriteHashSet(writer));  // one part hash short
  list.Add(HashOf(3));
  ASSERT_TRUE(list.WriteHashSet(writer));

  CTARNNetHashList copy;
  copy.SetFileSize(list.GetFileSize());
  Protocol::CStreamReader reader(bytes);
  ASSERT_TRUE(copy.ReadHashSet(reader));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(copy.DeriveFileHash(), list.DeriveFileHash());

  CTARNNetHashList single;
  single.SetFileSize(kPartSize - 1);
  single.Add(HashOf(1));
  std::vector<uint8_t> empty;
  Protocol::CStreamWriter emptyWriter(empty);
  ASSERT_TRUE(single.WriteHashSet(emptyWriter));
  EXPECT_EQ(empty, (std::vector<uint8_t>{0, 0})) << "a single part sends no hashes";
}

}  // namespace
}  // namespace P2P::HASH::MD4_HASH
