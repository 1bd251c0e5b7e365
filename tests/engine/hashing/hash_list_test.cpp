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
  uint32_t fileSize;
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
