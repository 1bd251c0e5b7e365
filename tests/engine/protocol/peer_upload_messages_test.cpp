#include <gtest/gtest.h>

#include <algorithm>
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

// Offsets at which the 64-bit forms matter: the last small size, 32 bits and the largest file.
constexpr uint64_t kWideOffsets[] = {kMaxSmallFileSize,       kMaxSmallFileSize + 1,
                                     uint64_t{UINT32_MAX},    uint64_t{1} << 32,
                                     (uint64_t{1} << 32) + 1, kMaxFileSize - 184320};

TEST(PeerUploadMessagesTest, WideFormsCarryEveryOffsetUpToTheLargestFile) {
  const std::vector<uint8_t> data = Noise(12000);
  const std::vector<uint8_t> stream = *PackBlock(Text(kMaxTransferBlockLength));
  for (const uint64_t start : kWideOffsets) {
    SCOPED_TRACE(start);
    std::vector<uint8_t> out;
    ASSERT_TRUE(AppendSendingParts(out, FileHash(), start, data, true));
    const auto plain = Split(out);
    ASSERT_EQ(plain.size(), 2u);
    uint64_t next = start;
    for (const Framed& framed : plain) {
      EXPECT_EQ(framed.protocol, kProtocolExtended);
      EXPECT_EQ(framed.opcode, kOpSendingPartWide);
      _tagStructDataPacket packet;
      ASSERT_TRUE(ReadSendingPart(framed.payload, packet, nullptr, true));
      EXPECT_EQ(packet.start, next);
      next = packet.endOrPacked;
    }
    EXPECT_EQ(next, start + data.size());

    out.clear();
    ASSERT_TRUE(AppendCompressedParts(out, FileHash(), start, stream, true));
    const auto packed = Split(out);
    ASSERT_EQ(packed.size(), 1u);
    EXPECT_EQ(packed[0].opcode, kOpCompressedPartWide);
    _tagStructDataPacket packet;
    ASSERT_TRUE(ReadCompressedPart(packed[0].payload, packet, nullptr, true));
    EXPECT_EQ(packet.start, start);
    EXPECT_EQ(packet.endOrPacked, stream.size());
    EXPECT_TRUE(std::equal(packet.data.begin(), packet.data.end(), stream.begin()));

    // The 32-bit forms refuse what they cannot carry rather than cut it.
    out.clear();
    EXPECT_EQ(AppendSendingParts(out, FileHash(), start, data), start + data.size() <= UINT32_MAX);
    out.clear();
    EXPECT_EQ(AppendCompressedParts(out, FileHash(), start, stream), start < UINT32_MAX);
  }
}

TEST(PeerUploadMessagesTest, WideFormsStopAtTheLargestFile) {
  const std::vector<uint8_t> data = Noise(100);
  std::vector<uint8_t> out;
  ASSERT_TRUE(AppendSendingParts(out, FileHash(), kMaxFileSize - 100, data, true));
  EXPECT_FALSE(AppendSendingParts(out, FileHash(), kMaxFileSize - 99, data, true));
  EXPECT_FALSE(AppendCompressedParts(out, FileHash(), kMaxFileSize, data, true));
  EXPECT_EQ(Split(out).size(), 1u);

  // Read back: an end or start past the largest file is refused, and so is a 64-bit length
  // that a 32-bit reading would cut to a small one.
  const auto wide = [](uint64_t start, uint64_t third, size_t bytes) {
    const _tagUnionHash hash = FileHash();
    std::vector<uint8_t> payload(hash.bytes.begin(), hash.bytes.end());
    CStreamWriter writer(payload);
    writer.WriteUInt64(start);
    writer.WriteUInt64(third);
    writer.WriteBytes(std::vector<uint8_t>(bytes, 0));
    return payload;
  };
  _tagStructDataPacket packet;
  SRefusal refusal;
  EXPECT_TRUE(ReadSendingPart(wide(kMaxFileSize - 100, kMaxFileSize, 100), packet, &refusal, true));
  EXPECT_FALSE(
      ReadSendingPart(wide(kMaxFileSize, kMaxFileSize + 100, 100), packet, &refusal, true));
  EXPECT_EQ(refusal.reason, ERefusalReason::kOverLimit);
  EXPECT_FALSE(
      ReadSendingPart(wide(kMaxFileSize, (uint64_t{1} << 32) + 100, 100), packet, nullptr, true));
  EXPECT_TRUE(ReadCompressedPart(wide(kMaxFileSize - 1, 100, 100), packet, nullptr, true));
  EXPECT_FALSE(ReadCompressedPart(wide(kMaxFileSize, 100, 100), packet, nullptr, true));
  EXPECT_FALSE(ReadCompressedPart(wide(0, (uint64_t{1} << 32) + 100, 100), packet, nullptr, true));
  // A 64-bit packet read as a 32-bit one does not frame.
  EXPECT_FALSE(ReadSendingPart(wide(1 << 20, (1 << 20) + 100, 100), packet, nullptr, false));
}

TEST(PeerUploadMessagesTest, QueueRankIsU16ThenTenZeroBytes) {
  EXPECT_EQ(BuildQueueRank(0x0203), (std::vector<uint8_t>{0xC5, 13, 0, 0, 0, 0x60, 0x03, 0x02, 0, 0,
                                                          0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(WireRank(7), 7);
  EXPECT_EQ(WireRank(70000), 0xFFFF);
}

}  // namespace
}  // namespace P2P::Protocol
