#include <gtest/gtest.h>

#include <vector>

#include "engine/library/OfferRecord.h"
#include "engine/transfer/TransferFileList.h"
#include "tests/support/FileSizes.h"

namespace P2P::Shared::File {
namespace {

_tagStructSharedFile FullRecord() {
  _tagStructSharedFile record;
  record.hash.bytes.fill(0x5A);
  record.clientId = 0x0100007F;
  record.port = 4662;
  auto& info = record.info;
  info.name = "song.mp3";
  info.size = 123456;
  info.type = "Audio";
  info.format = "mp3";
  info.mediaLength = "3:25";
  info.mediaBitrate = 192;
  info.mediaAlbum = "Album";
  info.mediaArtist = "Artist";
  info.mediaTitle = "Title";
  info.mediaCodec = "mp3";
  return record;
}

class OfferRoundTripTest : public ::testing::TestWithParam<_tagStructOfferOptions> {};

TEST_P(OfferRoundTripTest, EveryWrittenFieldReadsBack) {
  const _tagStructSharedFile record = FullRecord();
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  ASSERT_TRUE(WriteOfferRecord(writer, record, GetParam()));
  Protocol::CStreamReader reader(bytes);
  const auto read = ReadOfferRecord(reader);
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(*read, record);
  // Tag count: name, size, type, format and the six media fields.
  EXPECT_EQ(bytes[22], 10);
}

INSTANTIATE_TEST_SUITE_P(Forms, OfferRoundTripTest,
                         ::testing::Values(_tagStructOfferOptions{false, true},
                                           _tagStructOfferOptions{true, true},
                                           _tagStructOfferOptions{false, false},
                                           _tagStructOfferOptions{true, false}),
                         [](const ::testing::TestParamInfo<_tagStructOfferOptions>& info) {
                           return std::string(info.param.compactTags ? "Compact" : "Classic") +
                                  (info.param.mediaTagsById ? "MediaById" : "MediaByName");
                         });

// A record written as an offer and read back.
std::optional<_tagStructSharedFile> RoundTrip(const _tagStructSharedFile& record) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  if (!WriteOfferRecord(writer, record, {})) return std::nullopt;
  Protocol::CStreamReader reader(bytes);
  return ReadOfferRecord(reader);
}

// A size above 32 bits adds the tag with its high half; smaller sizes are written as always.
TEST(OfferRecordTest, SizesAroundAndBeyond32BitsRoundTrip) {
  for (const uint64_t size : tarn::test::kSizesAround32Bits) {
    _tagStructSharedFile record = FullRecord();
    record.info.size = size;
    std::vector<uint8_t> bytes;
    Protocol::CStreamWriter writer(bytes);
    ASSERT_TRUE(WriteOfferRecord(writer, record, {}));
    EXPECT_EQ(bytes[22], size > 0xFFFFFFFF ? 11 : 10) << size;
    Protocol::CStreamReader reader(bytes);
    const auto read = ReadOfferRecord(reader);
    ASSERT_TRUE(read) << size;
    EXPECT_EQ(read->info.size, size);
  }
  // Above 256 GiB no client holds a file: the record is refused, not cut to its low half.
  for (const uint64_t size : {tarn::test::kAboveLargestFile, ~uint64_t{0}}) {
    _tagStructSharedFile record = FullRecord();
    record.info.size = size;
    std::vector<uint8_t> bytes;
    Protocol::CStreamWriter writer(bytes);
    ASSERT_TRUE(WriteOfferRecord(writer, record, {}));
    Protocol::CStreamReader reader(bytes);
    EXPECT_FALSE(ReadOfferRecord(reader)) << size;
    EXPECT_EQ(reader.Position(), 0u);
  }
}

// Records that know no type or format are offered with those of their names, as other
// clients' offers are: servers index them, and searches by type or extension find the file.
TEST(OfferRecordTest, TypeAndExtensionComeFromTheNameWhenTheRecordHasNone) {
  using TypeAndFormat = std::pair<std::string, std::string>;
  const auto offered = [](const std::string& name) {
    _tagStructSharedFile record;
    record.info.name = name;
    record.info.size = 1000;
    const auto read = RoundTrip(record);
    return read ? TypeAndFormat(read->info.type, read->info.format) : TypeAndFormat();
  };
  EXPECT_EQ(offered("song one.mp3"), TypeAndFormat("Audio", "mp3"));
  EXPECT_EQ(offered("Clip.MKV"), TypeAndFormat("Video", "mkv"));
  EXPECT_EQ(offered("notes.weird"), TypeAndFormat("", "weird"));
  EXPECT_EQ(offered("README"), TypeAndFormat("", ""));
  EXPECT_EQ(offered(".profile"), TypeAndFormat("", ""));
  // A record's own type and format stand.
  _tagStructSharedFile record = FullRecord();
  record.info.name = "song.ogg";
  EXPECT_EQ(RoundTrip(record)->info.format, "mp3");
}

std::vector<uint8_t> OfferList(uint32_t declared, int records) {
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  writer.WriteUInt32(declared);
  for (int i = 0; i < records; ++i) WriteOfferRecord(writer, FullRecord(), {});
  return bytes;
}

TEST(OfferRecordTest, WrongCountsAndShortInputAreRefusedWithoutMoving) {
  const auto good = OfferList(2, 2);
  {
    Protocol::CStreamReader reader(good);
    const auto records = ReadOfferList(reader);
    ASSERT_TRUE(records.has_value());
    EXPECT_EQ(records->size(), 2u);
  }
  const std::vector<std::vector<uint8_t>> bad = {
      OfferList(3, 2),                                     // more records declared than sent
      OfferList(0xFFFFFFFF, 1),                            // a count no input can hold
      std::vector<uint8_t>(good.begin(), good.end() - 1),  // last tag cut short
  };
  for (const auto& bytes : bad) {
    Protocol::CStreamReader reader(bytes);
    EXPECT_FALSE(ReadOfferList(reader).has_value());
    EXPECT_EQ(reader.Position(), 0u);
  }

  // A record declaring more tags than its bytes can hold.
  std::vector<uint8_t> record;
  Protocol::CStreamWriter writer(record);
  WriteOfferRecord(writer, FullRecord(), {});
  record[22] = 0xFF;
  record[23] = 0xFF;
  Protocol::CStreamReader reader(record);
  EXPECT_FALSE(ReadOfferRecord(reader).has_value());
  EXPECT_EQ(reader.Position(), 0u);
}

TEST(OfferRecordTest, NamesFromTheNetworkCannotNameAnotherFolder) {
  _tagStructSharedFile record = FullRecord();
  record.info.name = "../../etc/passwd";
  const auto read = RoundTrip(record);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->info.name.find('/'), std::string::npos);
  EXPECT_EQ(SafeFileName(".."), "_");
}

TEST(ServerOfferListTest, LimitOwnIdentityAndCompletionMarks) {
  using TransferFile::CTARNNetTransferFile;
  using TransferFile::CTARNNetTransferFileList;
  CTARNNetTransferFileList list;
  for (int i = 0; i < 3; ++i) {
    _tagStructSharedFile record = FullRecord();
    record.hash.bytes[0] = static_cast<uint8_t>(i + 1);
    list.AddFromRecord(record);
  }
  TransferFile::_tagStructServerOfferParams params;
  params.ownClientId = 0x04030201;
  params.ownPort = 4662;
  params.serverFileLimit = 2;

  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter writer(bytes);
  ASSERT_TRUE(list.WriteOfferList(writer, params));
  Protocol::CStreamReader reader(bytes);
  auto records = ReadOfferList(reader);
  ASSERT_TRUE(records.has_value());
  ASSERT_EQ(records->size(), 2u);
  EXPECT_EQ((*records)[0].clientId, 0x04030201u);
  EXPECT_EQ((*records)[1].hash.bytes[0], 2);

  // Bit 0 of the server's flags: shared files are marked complete.
  params.serverTcpFlags = 1;
  params.serverFileLimit = 0;
  bytes.clear();
  ASSERT_TRUE(list.WriteOfferList(writer, params));
  Protocol::CStreamReader marked(bytes);
  records = ReadOfferList(marked);
  ASSERT_TRUE(records.has_value());
  ASSERT_EQ(records->size(), 3u);
  EXPECT_EQ((*records)[2].clientId, CTARNNetTransferFileList::kCompleteClientId);
  EXPECT_EQ((*records)[2].port, CTARNNetTransferFileList::kCompletePort);
  list.Clear();
}

// Files above the small-file size go only to a server that takes large files; the others
// are offered to every server.
TEST(ServerOfferListTest, LargeFilesOnlyToServersThatTakeThem) {
  using TransferFile::CTARNNetTransferFileList;
  CTARNNetTransferFileList list;
  const uint64_t sizes[] = {4290048000, 4290048001, uint64_t{5} << 30, 1000};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    _tagStructSharedFile record = FullRecord();
    record.hash.bytes[0] = static_cast<uint8_t>(i + 1);
    record.info.size = sizes[i];
    list.AddFromRecord(record);
  }
  const auto offered = [&list](uint32_t serverTcpFlags) {
    TransferFile::_tagStructServerOfferParams params;
    params.serverTcpFlags = serverTcpFlags;
    std::vector<uint8_t> bytes;
    Protocol::CStreamWriter writer(bytes);
    EXPECT_TRUE(list.WriteOfferList(writer, params));
    Protocol::CStreamReader reader(bytes);
    std::vector<uint64_t> read;
    for (const auto& record : ReadOfferList(reader).value_or(std::vector<_tagStructSharedFile>{}))
      read.push_back(record.info.size);
    return read;
  };
  EXPECT_EQ(offered(0x19), (std::vector<uint64_t>{4290048000, 1000}));
  EXPECT_EQ(offered(0x119), std::vector<uint64_t>(std::begin(sizes), std::end(sizes)));
  list.Clear();
}

}  // namespace
}  // namespace P2P::Shared::File
