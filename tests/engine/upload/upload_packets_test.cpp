#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/peers/UploadReaskAnswer.h"
#include "engine/protocol/C2CUDPDispatcher.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/transfer/HashSetAnswer.h"
#include "engine/upload/UploadBlockPackets.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/ManualClock.h"

namespace P2P::Shared::File::TransferFile {
namespace {

_tagStructUploadBlock Block(uint32_t start, std::vector<uint8_t> data, EFileCategory category) {
  _tagStructUploadBlock block;
  block.file.bytes.fill(0x3C);
  block.start = start;
  block.end = start + static_cast<uint32_t>(data.size());
  block.data = std::move(data);
  block.category = category;
  return block;
}

std::vector<uint8_t> Compressible(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>("log line 42\n"[i % 12]);
  return bytes;
}

// Opcodes of the packets in a send buffer, in order.
std::vector<uint8_t> Opcodes(const std::vector<uint8_t>& out) {
  std::vector<uint8_t> opcodes;
  for (size_t at = 0; at + 6 <= out.size();) {
    const uint32_t length =
        out[at + 1] | (out[at + 2] << 8) | (out[at + 3] << 16) | (uint32_t{out[at + 4]} << 24);
    opcodes.push_back(out[at + 5]);
    at += 5 + length;
  }
  return opcodes;
}

TEST(UploadBlockPacketsTest, PacksOnlyForPeersThatInflateAndDataThatIsNotPackedAlready) {
  EXPECT_FALSE(IsPackingWorthTrying(0, kCategoryDocument));
  EXPECT_TRUE(IsPackingWorthTrying(1, kCategoryDocument));
  EXPECT_TRUE(IsPackingWorthTrying(1, kCategoryNone));
  EXPECT_TRUE(IsPackingWorthTrying(1, kCategoryDiskImage));
  for (EFileCategory packedAlready : {kCategoryArchive, kCategoryVideo, kCategoryAudio})
    EXPECT_FALSE(IsPackingWorthTrying(1, packedAlready)) << packedAlready;

  bool packed = true;
  std::vector<uint8_t> out;
  ASSERT_TRUE(
      AppendBlockPackets(out, Block(0, Compressible(50000), kCategoryDocument), 1, &packed));
  EXPECT_TRUE(packed);
  EXPECT_EQ(Opcodes(out), std::vector<uint8_t>{Protocol::kOpCompressedPart});

  out.clear();
  ASSERT_TRUE(AppendBlockPackets(out, Block(0, Compressible(50000), kCategoryVideo), 1, &packed));
  EXPECT_FALSE(packed);
  EXPECT_EQ(Opcodes(out).size(), 5u);  // 4 × 10240 + 9040

  out.clear();
  ASSERT_TRUE(
      AppendBlockPackets(out, Block(0, Compressible(50000), kCategoryDocument), 0, &packed));
  EXPECT_FALSE(packed);
}

TEST(UploadBlockPacketsTest, LongRangesArePackedBlockByBlock) {
  // Three blocks: compressible, noise, compressible.
  std::vector<uint8_t> data = Compressible(3 * 184320);
  std::mt19937 random(3);
  for (size_t i = 184320; i < 2 * 184320; ++i) data[i] = static_cast<uint8_t>(random());
  std::vector<uint8_t> out;
  bool packed = false;
  ASSERT_TRUE(AppendBlockPackets(out, Block(1000, data, kCategoryNone), 2, &packed));
  EXPECT_TRUE(packed);
  const auto opcodes = Opcodes(out);
  ASSERT_EQ(opcodes.size(), 1u + 18u + 1u);  // the noise block goes plain, 18 × 10240
  EXPECT_EQ(opcodes.front(), Protocol::kOpCompressedPart);
  EXPECT_EQ(opcodes[1], Protocol::kOpSendingPart);
  EXPECT_EQ(opcodes.back(), Protocol::kOpCompressedPart);

  auto bad = Block(0, Compressible(100), kCategoryNone);
  bad.end = 99;  // fields disagree
  EXPECT_FALSE(AppendBlockPackets(out, bad, 1));
}

TEST(UploadReaskAnswerTest, AnswersRankQueueFullFileNotFoundOrNothing) {
  tarn::test::ManualClock clock;
  Client::_tagStructUploadSchedulerSettings settings;
  settings.slots = 1;
  settings.maxQueue = 1;
  Client::CTARNNetUploadScheduler scheduler(settings);
  Client::_tagStructUploadRequester requester;
  requester.address = 0x0100007F;
  requester.udpPort = 4672;
  requester.userHash.bytes.fill(1);
  scheduler.Request(requester);  // uploads
  requester.userHash.bytes.fill(2);
  requester.udpPort = 4673;
  scheduler.Request(requester);  // waits, rank 1
  const _tagUnionHash file{};

  EXPECT_EQ(AnswerReaskPing(scheduler, true, 0x0100007F, 4673, file),
            (std::vector<uint8_t>{0xC5, Protocol::kOpReaskAck, 1, 0}));
  EXPECT_EQ(AnswerReaskPing(scheduler, true, 0x0200007F, 4672, file),
            (std::vector<uint8_t>{0xC5, Protocol::kOpQueueFull}));
  EXPECT_EQ(AnswerReaskPing(scheduler, false, 0x0100007F, 4673, file),
            (std::vector<uint8_t>{0xC5, Protocol::kOpUdpFileNotFound}));
  EXPECT_TRUE(AnswerReaskPing(scheduler, true, 0x0100007F, 4672, file).empty());  // uploading
}

TEST(HashSetAnswerTest, CarriesEveryPartHashOrNothingAtAll) {
  std::vector<uint8_t> content(2 * HASH::kPartSize + 100);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i >> 11);
  CTransferFilePtr file(new CTARNNetTransferFile(test::RecordFor(content, "big.iso")));
  file->HashSet().Reset(file->GetSize());
  EXPECT_TRUE(BuildHashSetAnswer(*file).empty());  // a download still waiting for its set

  test::GivePartHashes(*file, content);
  const auto packet = BuildHashSetAnswer(*file);
  ASSERT_GT(packet.size(), 6u);
  EXPECT_EQ(packet[0], Protocol::kProtocolEDonkey);
  EXPECT_EQ(packet[5], Protocol::kOpHashSetAnswer);
  _tagUnionHash hash;
  std::vector<_tagUnionHash> hashes;
  ASSERT_TRUE(Protocol::ReadHashSet(std::span(packet).subspan(6), hash, hashes));
  EXPECT_EQ(hash, file->GetHash());
  EXPECT_EQ(hashes.size(), 3u);  // floor(size / part) + 1

  // A set that does not derive the file hash is not sent.
  auto& list = file->HashSet().HashList();
  const std::vector<_tagUnionHash> good(list.begin(), list.end());
  list.Clear();
  for (size_t i = 0; i < good.size(); ++i) list.Add(i == 1 ? _tagUnionHash{} : good[i]);
  EXPECT_TRUE(BuildHashSetAnswer(*file).empty());

  // A single-part file answers with an empty set, hash list or not.
  CTransferFilePtr small(new CTARNNetTransferFile(test::RecordFor({1, 2, 3}, "small.txt")));
  const auto single = BuildHashSetAnswer(*small);
  ASSERT_EQ(single.size(), 6u + 16u + 2u);
  EXPECT_EQ(single[22], 0);
  EXPECT_EQ(single[23], 0);
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
