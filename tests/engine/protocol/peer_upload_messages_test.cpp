#include <gtest/gtest.h>

#include <random>
#include <span>
#include <vector>

#include "engine/protocol/Inflate.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/protocol/PeerUploadMessages.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {
namespace {

struct Framed {
  uint8_t protocol = 0;
  uint8_t opcode = 0;
  std::vector<uint8_t> payload;
};

// Splits a send buffer into its TCP packets, checking every declared length.
std::vector<Framed> Split(std::span<const uint8_t> bytes) {
  std::vector<Framed> packets;
  CStreamReader reader(bytes);
  while (!reader.AtEnd()) {
    Framed packet;
    uint32_t length = 0;
    std::span<const uint8_t> payload;
    if (!reader.ReadUInt8(packet.protocol) || !reader.ReadUInt32(length) || length == 0 ||
        !reader.ReadUInt8(packet.opcode) || !reader.ReadView(length - 1, payload)) {
      ADD_FAILURE() << "bad framing at " << reader.Position();
      return packets;
    }
    packet.payload.assign(payload.begin(), payload.end());
    packets.push_back(std::move(packet));
  }
  return packets;
}

_tagUnionHash FileHash() {
  _tagUnionHash hash;
  for (size_t i = 0; i < hash.kSize; ++i) hash.bytes[i] = static_cast<uint8_t>(i * 7);
  return hash;
}

std::vector<uint8_t> Text(size_t size) {
  static const char kWords[] = "the quick brown fox jumps over the lazy dog, again and again. ";
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<uint8_t>(kWords[i % (sizeof kWords - 1)]);
  return bytes;
}

std::vector<uint8_t> Noise(size_t size) {
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

TEST(PeerUploadMessagesTest, BlockIsSplitIntoSendingPartsOfAtMost10240Bytes) {
  const std::vector<uint8_t> data = Noise(25000);
  std::vector<uint8_t> out = {0xAA};  // whatever the send buffer held stays in front
  ASSERT_TRUE(AppendSendingParts(out, FileHash(), 1000, data));
  EXPECT_EQ(out[0], 0xAA);
  const auto packets = Split(std::span(out).subspan(1));
  ASSERT_EQ(packets.size(), 3u);
  std::vector<uint8_t> joined;
  uint32_t expectedStart = 1000;
  const size_t sizes[] = {10240, 10240, 4520};
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].protocol, kProtocolEDonkey);
    EXPECT_EQ(packets[i].opcode, kOpSendingPart);
    _tagStructDataPacket packet;
    ASSERT_TRUE(ReadSendingPart(packets[i].payload, packet));
    EXPECT_EQ(packet.file, FileHash());
    EXPECT_EQ(packet.start, expectedStart);
    EXPECT_EQ(packet.endOrPacked - packet.start, sizes[i]);
    expectedStart = packet.endOrPacked;
    joined.insert(joined.end(), packet.data.begin(), packet.data.end());
  }
  EXPECT_EQ(joined, data);

  std::vector<uint8_t> untouched;
  EXPECT_FALSE(AppendSendingParts(untouched, FileHash(), 0, {}));
  EXPECT_FALSE(AppendSendingParts(untouched, FileHash(), 0xFFFFFFF0u, data));  // wraps 32 bits
  EXPECT_TRUE(untouched.empty());
  // A range ending exactly at 2^32 - 1 still fits.
  ASSERT_TRUE(
      AppendSendingParts(untouched, FileHash(), 0xFFFFFFFFu - 10, std::span(data).first(10)));
}

TEST(PeerUploadMessagesTest, PackedBlockTravelsInSlicesThatInflateBackToTheBlock) {
  const std::vector<uint8_t> data = Text(kMaxTransferBlockLength);
  const auto packed = PackBlock(data);
  ASSERT_TRUE(packed.has_value());
  EXPECT_LT(packed->size(), data.size() / 10);

  // Make the stream span several packets by packing noise-laced text.
  std::vector<uint8_t> mixed = data;
  const std::vector<uint8_t> noise = Noise(mixed.size());
  for (size_t i = 0; i < mixed.size(); i += 4) mixed[i] = noise[i];
  const auto stream = PackBlock(mixed);
  ASSERT_TRUE(stream.has_value());
  ASSERT_GT(stream->size(), 2u * kMaxDataPacketBytes);

  std::vector<uint8_t> out;
  ASSERT_TRUE(AppendCompressedParts(out, FileHash(), 9728000, *stream));
  std::vector<uint8_t> joined;
  for (const Framed& framed : Split(out)) {
    EXPECT_EQ(framed.protocol, kProtocolExtended);
    EXPECT_EQ(framed.opcode, kOpCompressedPart);
    _tagStructDataPacket packet;
    ASSERT_TRUE(ReadCompressedPart(framed.payload, packet));
    EXPECT_EQ(packet.start, 9728000u);
    EXPECT_EQ(packet.endOrPacked, stream->size());
    EXPECT_LE(packet.data.size(), kMaxDataPacketBytes);
    joined.insert(joined.end(), packet.data.begin(), packet.data.end());
  }
  std::vector<uint8_t> inflated;
  ASSERT_TRUE(InflatePacked(joined, inflated));
  EXPECT_EQ(inflated, mixed);
}

TEST(PeerUploadMessagesTest, PackingThatSavesLessThanATenthIsNotUsed) {
  EXPECT_FALSE(PackBlock(Noise(184320)).has_value());
  EXPECT_FALSE(PackBlock({}).has_value());
  EXPECT_FALSE(PackBlock(Text(kMaxUploadRequestLength + 1)).has_value());
  // Noise with zeros spread through it: a fifth of zeros is worth packing, a twentieth is not.
  const auto zeroed = [](size_t every) {
    std::vector<uint8_t> data = Noise(100000);
    for (size_t at = 0; at + 1024 <= data.size(); at += every * 1024)
      std::fill(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at) + 1024,
                0);
    return data;
  };
  const auto fifth = zeroed(5);
  const auto packed = PackBlock(fifth);
  ASSERT_TRUE(packed.has_value());
  EXPECT_LE(packed->size() * 10, fifth.size() * 9);
  EXPECT_FALSE(PackBlock(zeroed(20)).has_value());
  // Zeros only at the end do not get past the probe of the start.
  std::vector<uint8_t> tail = Noise(100000);
  std::fill(tail.end() - 30000, tail.end(), 0);
  EXPECT_FALSE(PackBlock(tail).has_value());
}

TEST(PeerUploadMessagesTest, QueueRankIsU16ThenTenZeroBytes) {
  EXPECT_EQ(BuildQueueRank(0x0203), (std::vector<uint8_t>{0xC5, 13, 0, 0, 0, 0x60, 0x03, 0x02, 0, 0,
                                                          0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(WireRank(7), 7);
  EXPECT_EQ(WireRank(70000), 0xFFFF);
}

}  // namespace
}  // namespace P2P::Protocol
