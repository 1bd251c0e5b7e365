#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/library/SharedDatFile.h"
#include "engine/library/SharedDatReader.h"
#include "framework/XmlDocument.h"
#include "tests/support/FileSizes.h"
#include "tests/support/Sandbox.h"

namespace P2P::Shared::File {
namespace {

std::vector<_tagStructSharedFile> SampleFiles() {
  std::vector<_tagStructSharedFile> files(4);
  for (size_t i = 0; i < files.size(); ++i) {
    files[i].hash.bytes.fill(static_cast<uint8_t>(i + 1));
    files[i].info.name = "name " + std::to_string(i) + " <&> \"'\t.txt";
    files[i].info.fullPathName = "/shared/" + files[i].info.name;
    files[i].info.size = static_cast<uint32_t>(1000 + i);
    files[i].info.creationTime = -static_cast<int64_t>(i);
    files[i].info.lastWriteTime = static_cast<int64_t>(i) << 40;
  }
  files[1].info.mediaArtist = "Artist\x01";
  files[2].info.type = "Audio";
  return files;
}

std::vector<_tagStructSharedFile> DocumentRead(const std::string& text) {
  OSTREL::File::CXmlDocument document;
  if (!document.LoadText(text)) return {};
  return ReadSharedDatDocument(document);
}

// The in-place reader and the document agree on every text the in-place reader accepts: the
// file as written, every cut of it, and every single-byte change of it.
TEST(SharedDatReaderTest, AgreesWithTheDocumentOnWrittenAndDamagedTexts) {
  const std::string text = WriteSharedDatText(SampleFiles());
  std::vector<_tagStructSharedFile> read;
  const auto take = [&read](_tagStructSharedFile& file) { read.push_back(file); };
  ASSERT_TRUE(ReadWrittenSharedDat(text, take));
  EXPECT_EQ(read, SampleFiles());

  size_t accepted = 0;
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    read.clear();
    if (!ReadWrittenSharedDat(std::string_view(text).substr(0, cut), take)) {
      EXPECT_TRUE(read.empty()) << cut;
      continue;
    }
    ++accepted;
    EXPECT_EQ(read, DocumentRead(text.substr(0, cut))) << cut;
  }
  EXPECT_EQ(accepted, 1u);  // only the whole text
  for (size_t at = 0; at < text.size(); ++at)
    for (const char replacement : {'<', '>', '&', '\r', ' ', 'A', '\0', '/', ';'}) {
      std::string changed = text;
      changed[at] = replacement;
      read.clear();
      if (ReadWrittenSharedDat(changed, take)) {
        EXPECT_EQ(read, DocumentRead(changed)) << at << " " << int(replacement);
      }
    }
}

// A piece may end anywhere, inside a tag, a field or an entity: the entries are the same.
// Sizes around the small-file bound and 32 bits read back whole; a size above the largest
// file is damage and reads as unknown (0), as the document reader takes it too.
TEST(SharedDatReaderTest, SizesAboveThirtyTwoBitsReadBack) {
  std::vector<_tagStructSharedFile> files;
  for (const uint64_t size : tarn::test::kSizesAround32Bits) {
    files.push_back(SampleFiles()[0]);
    files.back().info.size = size;
  }
  files.push_back(SampleFiles()[0]);
  files.back().info.size = tarn::test::kAboveLargestFile;
  std::vector<_tagStructSharedFile> read;
  ASSERT_TRUE(ReadWrittenSharedDat(WriteSharedDatText(files),
                                   [&read](_tagStructSharedFile& file) { read.push_back(file); }));
  ASSERT_EQ(read.size(), files.size());
  for (size_t i = 0; i + 1 < files.size(); ++i) EXPECT_EQ(read[i].info.size, files[i].info.size);
  EXPECT_EQ(read.back().info.size, 0u);
  EXPECT_EQ(DocumentRead(WriteSharedDatText(files)), read);
}

TEST(SharedDatReaderTest, APieceMayEndAnywhere) {
  const std::string text = WriteSharedDatText(SampleFiles());
  std::vector<_tagStructSharedFile> read;
  const CTARNNetSharedDatReader::Take take = [&read](_tagStructSharedFile& file) {
    read.push_back(file);
  };
  for (size_t split = 0; split <= text.size(); ++split) {
    read.clear();
    CTARNNetSharedDatReader reader;
    std::string_view first = std::string_view(text).substr(0, split);
    ASSERT_EQ(reader.Feed(first, false, &take), CTARNNetSharedDatReader::EResult::kMore) << split;
    std::string held = std::string(first) + text.substr(split);
    std::string_view rest = held;
    ASSERT_EQ(reader.Feed(rest, true, &take), CTARNNetSharedDatReader::EResult::kDone) << split;
    EXPECT_EQ(read, SampleFiles()) << split;
  }
}

// Files are read in pieces of a megabyte: entries across piece boundaries, and texts in another
// layout (attributes, other cases), read as the document reads them.
TEST(SharedDatReaderTest, LargeAndForeignFilesReadLikeTheDocument) {
  tarn::test::Sandbox sandbox;
  std::vector<_tagStructSharedFile> files(9000, SampleFiles()[0]);
  for (size_t i = 0; i < files.size(); ++i) files[i].info.size = static_cast<uint32_t>(i + 1);
  const std::string text = WriteSharedDatText(files);
  ASSERT_GT(text.size(), 2u << 20);
  sandbox.WriteFile("Shared.dat", text);
  std::vector<_tagStructSharedFile> read;
  const auto take = [&read](_tagStructSharedFile& file) { read.push_back(file); };
  EXPECT_EQ(ReadWrittenSharedDatFile(sandbox / "Shared.dat", take),
            CTARNNetSharedDatReader::EResult::kDone);
  EXPECT_EQ(read, files);

  const std::string foreign = std::string(OSTREL::File::CXmlDocument::kDeclaration) +
                              "<sharedfilelist><SharedFile Hash=\"" + files[0].hash.ToHex() +
                              "\"><NAME>a</NAME></SharedFile></sharedfilelist>";
  sandbox.WriteFile("Shared.dat", foreign);
  read.clear();
  EXPECT_EQ(ReadWrittenSharedDatFile(sandbox / "Shared.dat", take),
            CTARNNetSharedDatReader::EResult::kForeign);
  EXPECT_TRUE(read.empty());
  EXPECT_TRUE(ForEachSharedDatEntry(sandbox / "Shared.dat", take));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].hash, files[0].hash);
  EXPECT_EQ(read[0].info.name, "a");
}

}  // namespace
}  // namespace P2P::Shared::File
