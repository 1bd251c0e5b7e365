#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Limits.h"
#include "engine/upload/UploadBlockReader.h"
#include "engine/upload/UploadFileData.h"
#include "tests/support/FakeTransferData.h"
#include "tests/support/Sandbox.h"

namespace P2P::Shared::File::TransferFile {
namespace {

constexpr uint32_t kPart = HASH::kPartSize;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131) ^ (i >> 9));
  return bytes;
}

_tagUnionHash HashOf(uint8_t fill) {
  _tagUnionHash hash;
  hash.bytes.fill(fill);
  return hash;
}

// A download in progress: data for every byte on "disk", a completion bitmap saying which
// parts are verified.
struct FakeDownload {
  std::vector<uint8_t> content;
  int reads = 0;

  CTransferFilePtr Attach(const _tagUnionHash& hash, const std::string& name) {
    CTransferFilePtr file(new CTARNNetTransferFile());
    file->SetHash(hash);
    file->SetName(name);
    file->SetSize(static_cast<uint32_t>(content.size()));
    file->AttachData(std::make_shared<tarn::test::FakeTransferData>(
        [this](uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
          ++reads;
          data.assign(content.begin() + start, content.begin() + end);
          return true;
        },
        false));
    return file;
  }
};

class UploadBlockReaderTest : public ::testing::Test {
 protected:
  CTARNNetUploadBlockReader Reader() {
    return CTARNNetUploadBlockReader([this](const _tagUnionHash& hash) {
      const auto it = files_.find(hash);
      return it == files_.end() ? CTransferFilePtr() : it->second;
    });
  }

  std::map<_tagUnionHash, CTransferFilePtr> files_;
};

TEST_F(UploadBlockReaderTest, SharedFileServesAnyRangeInsideIt) {
  tarn::test::Sandbox sandbox;
  const std::vector<uint8_t> content = Pattern(300000);
  sandbox.WriteFile("song.mp3", std::string(content.begin(), content.end()));
  CTransferFilePtr file(new CTARNNetTransferFile());
  const auto upload = CTARNNetUploadFileData::Attach(file, {sandbox.Root(), 0, nullptr, {}});
  ASSERT_TRUE(file->Data()->Create((sandbox / "song.mp3").string(), nullptr));
  files_[file->GetHash()] = file;

  _tagStructUploadBlock block;
  ASSERT_EQ(Reader().Read(file->GetHash(), 115000, 299999, block), EUploadRead::kOk);
  EXPECT_EQ(block.start, 115000u);
  EXPECT_EQ(block.end, 299999u);
  EXPECT_EQ(block.data, std::vector<uint8_t>(content.begin() + 115000, content.begin() + 299999));
  EXPECT_EQ(block.category, kCategoryAudio);
  EXPECT_EQ(Reader().Read(file->GetHash(), 299999, 300000, block), EUploadRead::kOk);
  EXPECT_EQ(block.data.size(), 1u);

  // The file shrank on disk after it was hashed: the short read is refused, not sent.
  sandbox.WriteFile("song.mp3", "short");
  EXPECT_EQ(Reader().Read(file->GetHash(), 0, 1000, block), EUploadRead::kReadFailed);
  upload->Detach();
}

TEST_F(UploadBlockReaderTest, HostileRangesAndHashesAreRefusedWithoutReading) {
  FakeDownload download{Pattern(2 * kPart + 1000)};
  const auto file = download.Attach(HashOf(1), "movie.avi");
  file->CompletionBitmap() = {1, 1, 1};
  files_[HashOf(1)] = file;
  files_[HashOf(2)] = file;  // listed under a hash it does not carry
  const uint32_t size = file->GetSize();
  _tagStructUploadBlock block;
  const auto reader = Reader();

  struct Case {
    const char* what;
    _tagUnionHash hash;
    uint32_t start, end;
    EUploadRead expected;
  };
  const Case cases[] = {
      {"unknown hash", HashOf(9), 0, 100, EUploadRead::kUnknownFile},
      {"hash of another file", HashOf(2), 0, 100, EUploadRead::kUnknownFile},
      {"empty", HashOf(1), 500, 500, EUploadRead::kBadRange},
      {"reversed", HashOf(1), 600, 500, EUploadRead::kBadRange},
      {"past the end", HashOf(1), size - 10, size + 1, EUploadRead::kOutsideFile},
      {"wholly past the end", HashOf(1), 0xFFFFFF00u, 0xFFFFFFFFu, EUploadRead::kOutsideFile},
      {"oversize", HashOf(1), 0, Protocol::kMaxUploadRequestLength + 1, EUploadRead::kOversize},
  };
  for (const Case& c : cases)
    EXPECT_EQ(reader.Read(c.hash, c.start, c.end, block), c.expected) << c.what;
  EXPECT_EQ(download.reads, 0);
  EXPECT_EQ(reader.Read(HashOf(1), size - 10, size, block), EUploadRead::kOk);
  EXPECT_EQ(reader.Read(HashOf(1), 0, Protocol::kMaxUploadRequestLength, block), EUploadRead::kOk);
}

TEST_F(UploadBlockReaderTest, DownloadServesOnlyItsVerifiedParts) {
  FakeDownload download{Pattern(3 * kPart + 5)};
  const auto file = download.Attach(HashOf(1), "archive.zip");
  files_[HashOf(1)] = file;
  _tagStructUploadBlock block;
  const auto reader = Reader();

  // Nothing verified yet (the bitmap is empty until a part is).
  EXPECT_EQ(reader.Read(HashOf(1), 0, 1000, block), EUploadRead::kNotVerified);

  file->CompletionBitmap() = {0, 1, 0, 1};
  EXPECT_EQ(reader.Read(HashOf(1), kPart, kPart + 184320, block), EUploadRead::kOk);
  EXPECT_EQ(block.category, kCategoryArchive);
  EXPECT_EQ(reader.Read(HashOf(1), 2 * kPart - 100, 2 * kPart, block), EUploadRead::kOk);
  // One byte over either edge of the verified part.
  EXPECT_EQ(reader.Read(HashOf(1), kPart - 1, kPart + 100, block), EUploadRead::kNotVerified);
  EXPECT_EQ(reader.Read(HashOf(1), 2 * kPart - 100, 2 * kPart + 1, block),
            EUploadRead::kNotVerified);
  // The short last part.
  EXPECT_EQ(reader.Read(HashOf(1), 3 * kPart, 3 * kPart + 5, block), EUploadRead::kOk);
  EXPECT_EQ(block.data, std::vector<uint8_t>(download.content.end() - 5, download.content.end()));
  // A bitmap shorter than the file's parts counts the missing ones as unverified.
  file->CompletionBitmap() = {1, 1};
  EXPECT_EQ(reader.Read(HashOf(1), 3 * kPart, 3 * kPart + 5, block), EUploadRead::kNotVerified);
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
