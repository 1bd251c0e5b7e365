#include <gtest/gtest.h>

#include <vector>

#include "engine/hashing/HashConstants.h"
#include "engine/hashing/PartHashFile.h"
#include "tests/support/Sandbox.h"

namespace P2P::HASH {
namespace {

// An entry whose part hashes derive its file hash, for a file of `parts` full parts plus one
// byte (so the hash set holds parts + 1 hashes).
_tagStructPartHashEntry Entry(uint8_t seed, uint32_t parts, uint64_t size = 0) {
  _tagStructPartHashEntry entry;
  entry.parts.SetFileSize(size != 0 ? size : parts * kPartSize + 1);
  for (uint32_t i = 0; i < HashSetCount(entry.parts.GetFileSize()); ++i) {
    _tagUnionHash hash;
    hash.bytes.fill(static_cast<uint8_t>(seed + i));
    entry.parts.Add(hash);
  }
  entry.fileHash = entry.parts.DeriveFileHash();
  return entry;
}

bool Same(const _tagStructPartHashEntry& a, const _tagStructPartHashEntry& b) {
  return a.fileHash == b.fileHash && a.parts.GetFileSize() == b.parts.GetFileSize() &&
         std::equal(a.parts.begin(), a.parts.end(), b.parts.begin(), b.parts.end());
}

TEST(PartHashFileTest, EntriesRoundTripThroughTheFile) {
  tarn::test::Sandbox sandbox;
  const std::vector<_tagStructPartHashEntry> entries = {Entry(1, 1), Entry(50, 7)};
  ASSERT_TRUE(SavePartHashFile(sandbox / "PartHashes.dat", entries));
  const auto loaded = LoadPartHashFile(sandbox / "PartHashes.dat");
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_TRUE(Same(loaded[0], entries[0]));
  EXPECT_TRUE(Same(loaded[1], entries[1]));
  EXPECT_TRUE(LoadPartHashFile(sandbox / "missing.dat").empty());
}

// Damage never yields an entry whose hashes do not derive its file hash, a count that does not
// fit its size, or a read past the end; what stands before the damage is kept.
TEST(PartHashFileTest, DamagedImagesKeepOnlyEntriesThatCheckOut) {
  const std::vector<_tagStructPartHashEntry> entries = {Entry(1, 2), Entry(9, 3), Entry(20, 1)};
  const std::vector<uint8_t> bytes = WritePartHashBytes(entries);
  std::vector<_tagStructPartHashEntry> read;
  ASSERT_TRUE(ReadPartHashBytes(bytes, read));
  ASSERT_EQ(read.size(), 3u);

  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    ReadPartHashBytes(head, read);
    EXPECT_LT(read.size(), 3u) << cut;
    for (size_t i = 0; i < read.size(); ++i) EXPECT_TRUE(Same(read[i], entries[i])) << cut;
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::vector<uint8_t> flipped = bytes;
    flipped[at] ^= 0x01;
    ReadPartHashBytes(flipped, read);
    for (const auto& entry : read) {
      EXPECT_TRUE(entry.parts.Matches(entry.fileHash)) << at;
      EXPECT_EQ(entry.parts.Size(), HashSetCount(entry.parts.GetFileSize())) << at;
    }
  }
  // A count far beyond what the bytes can hold is refused before anything is reserved.
  std::vector<uint8_t> huge = {'T', 'P', 'H', '1', 0xff, 0xff, 0xff, 0xff};
  EXPECT_FALSE(ReadPartHashBytes(huge, read));
  EXPECT_FALSE(ReadPartHashBytes(std::vector<uint8_t>{'X', 'P', 'H', '1', 0, 0, 0, 0}, read));
}

// Files above 32 bits go into a section after the usual one: a library without them is
// written exactly as before, and a reader that stops after the first section still finds
// every other file.
TEST(PartHashFileTest, FilesAbove32BitsFollowInASectionOfTheirOwn) {
  const std::vector<_tagStructPartHashEntry> small = {Entry(1, 2), Entry(60, 0, 0xFFFFFFFFu)};
  const std::vector<uint8_t> before = WritePartHashBytes(small);
  const std::vector<uint64_t> sizes = {uint64_t{1} << 32, (uint64_t{1} << 32) + 1,
                                       uint64_t{256} << 30};
  std::vector<_tagStructPartHashEntry> mixed;
  for (size_t i = 0; i < sizes.size(); ++i) {
    mixed.push_back(Entry(static_cast<uint8_t>(100 + i), 0, sizes[i]));
    if (i < small.size()) mixed.push_back(small[i]);
  }
  const std::vector<uint8_t> bytes = WritePartHashBytes(mixed);
  ASSERT_GT(bytes.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), bytes.begin()));
  std::vector<_tagStructPartHashEntry> read;
  ASSERT_TRUE(ReadPartHashBytes(bytes, read));
  ASSERT_EQ(read.size(), 5u);
  EXPECT_TRUE(Same(read[0], small[0]) && Same(read[1], small[1]));
  for (size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(read[2 + i].parts.GetFileSize(), sizes[i]);
    EXPECT_EQ(read[2 + i].parts.Size(), PartCount(sizes[i]));
  }
  // A damaged usual section keeps the large one from being looked for in the wrong place.
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(before.size() - 1));
  ASSERT_TRUE(ReadPartHashBytes(cut, read));
  EXPECT_EQ(read.size(), 1u);
}

}  // namespace
}  // namespace P2P::HASH
