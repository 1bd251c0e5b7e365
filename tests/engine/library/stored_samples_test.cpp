#include <gtest/gtest.h>

#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "engine/download/DownloadMetadata.h"
#include "engine/hashing/HashConstants.h"
#include "engine/hashing/PartHashFile.h"
#include "engine/library/AICHDatStore.h"
#include "engine/library/SharedDatFile.h"
#include "platform/AtomicFile.h"

namespace P2P {
namespace {

// Every data file kept under tests/engine/data was written by an earlier version. Each must
// still read back to what that version stored, and writing what was read must give the same
// bytes again, so that a user's files survive an update (and a downgrade) unchanged.
std::filesystem::path Sample(std::string_view name) {
  return std::filesystem::path(TARN_STORED_SAMPLES) / name;
}

std::string SampleText(std::string_view name) {
  const auto text = OSTREL::File::ReadWholeFile(Sample(name), 1024 * 1024);
  EXPECT_TRUE(text.has_value()) << name;
  return text.value_or("");
}

TEST(StoredSamplesTest, DownloadMetadataReadsBackAndRewritesByteForByte) {
  using namespace Shared::File::TransferFile;
  const std::string text = SampleText("00001.tarn.dat");
  const auto read = ReadDownloadMetadataText(text);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->hash.ToHex(), "0123456789ABCDEF0123456789ABCDEF");
  EXPECT_EQ(read->info.name, "disc image & notes.iso");
  EXPECT_EQ(read->info.size, 4290048000u);
  EXPECT_EQ(read->info.type, "Image");
  ASSERT_EQ(read->required.Size(), 3u);
  EXPECT_EQ(read->required[1], (_tagStructBlockPart{2145024000u, 2154752000u}));
  EXPECT_EQ(read->required[2], (_tagStructBlockPart{4289863680u, 4290048000u}));
  EXPECT_EQ(WriteDownloadMetadataText(*read), text);
}

TEST(StoredSamplesTest, SharedDatReadsBackAndRewritesByteForByte) {
  const std::string text = SampleText("Shared.dat");
  const auto files = Shared::File::ReadSharedDatText(text);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].info.size, 4290048000u);
  EXPECT_EQ(files[0].info.lastWriteTime, 1700000123);
  EXPECT_EQ(files[1].info.name, "song <live>.mp3");
  EXPECT_EQ(files[1].info.mediaLength, "3:12");
  EXPECT_EQ(files[2].info.size, 1u);
  EXPECT_EQ(Shared::File::WriteSharedDatText(files), text);
}

TEST(StoredSamplesTest, AICHDatTreesImportAndRewriteByteForByte) {
  const std::string text = SampleText("AICH.dat");
  std::vector<Shared::File::_tagStructAICHDatEntry> entries;
  ASSERT_TRUE(Shared::File::ReadAICHDatText(text, entries));
  ASSERT_EQ(entries.size(), 2u);
  // A two-part file of 55 blocks and a one-byte file: both trees verify against their roots.
  HASH::CTARNNetAICHTree tree;
  EXPECT_TRUE(tree.ImportStoredNodes(HASH::kPartSize + 2 * HASH::kAICHBlockSize, entries[0].nodes));
  EXPECT_EQ(entries[0].nodes.size(), 1u + 53 + 2);
  EXPECT_TRUE(tree.ImportStoredNodes(1, entries[1].nodes));
  const std::list<Shared::File::_tagStructAICHDatEntry> again(entries.begin(), entries.end());
  EXPECT_EQ(Shared::File::WriteAICHDatText(again), text);
}

TEST(StoredSamplesTest, PartHashFileReadsBackAndRewritesByteForByte) {
  const std::string text = SampleText("PartHashes.dat");
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  std::vector<HASH::_tagStructPartHashEntry> entries;
  ASSERT_TRUE(HASH::ReadPartHashBytes(bytes, entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].parts.GetFileSize(), 4290048000u);
  EXPECT_EQ(entries[0].parts.Size(), 442u);
  EXPECT_EQ(entries[1].parts.GetFileSize(), 2 * HASH::kPartSize);
  EXPECT_EQ(entries[1].parts.Size(), 3u);
  const std::vector<uint8_t> again = HASH::WritePartHashBytes(entries);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
}

}  // namespace
}  // namespace P2P
