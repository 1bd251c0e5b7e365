#include <gtest/gtest.h>

#include <string>

#include "engine/protocol/PeerMessages.h"

namespace P2P::Protocol {
namespace {

constexpr uint32_t kPart = 9728000;

_tagStructClientConfig OwnConfig() {
  _tagStructClientConfig own;
  own.userHash.bytes.fill(0xAB);
  own.clientId = 0x0100007F;
  own.tcpPort = 4662;
  own.userName = "tarn user";
  own.udpPort = 4672;
  own.capabilities = kCapabilityWord;
  own.clientVersion = kClientVersionWord | (3u << 17);
  own.helloServerIp = 0x0200007F;
  own.helloServerPort = 4661;
  return own;
}

TEST(PeerMessagesTest, HelloAndHelloAnswerReadBackIntoTheIdentity) {
  const _tagStructClientConfig own = OwnConfig();
  for (bool answer : {false, true}) {
    _tagStructPeerIdentity identity;
    ASSERT_TRUE(ReadHello(BuildHelloPayload(own, answer), answer, identity));
    EXPECT_EQ(identity.userHash, own.userHash);
    EXPECT_EQ(identity.clientId, own.clientId);
    EXPECT_EQ(identity.tcpPort, own.tcpPort);
    EXPECT_EQ(identity.userName, own.userName);
    EXPECT_EQ(identity.ed2kVersion, kEd2kVersion);
    EXPECT_EQ(identity.udpPort, own.udpPort);
    EXPECT_EQ(identity.capabilities, own.capabilities);
    EXPECT_EQ(identity.clientVersion, own.clientVersion);
    EXPECT_EQ(identity.serverAddress, own.helloServerIp);
    EXPECT_EQ(identity.serverPort, own.helloServerPort);
    EXPECT_TRUE(identity.SupportsLargeFiles());
  }
}

TEST(PeerMessagesTest, HelloWithoutTheLargeFileBitKeepsItsFiveTags) {
  _tagStructClientConfig own = OwnConfig();
  const std::vector<uint8_t> withBit = BuildHelloPayload(own, true);
  own.helloTagValues[2] = 0;
  const std::vector<uint8_t> without = BuildHelloPayload(own, true);
  // Hash, id, port, then the tag count.
  EXPECT_EQ(without[16 + 4 + 2], 5);
  EXPECT_EQ(withBit[16 + 4 + 2], 6);
  _tagStructPeerIdentity identity;
  ASSERT_TRUE(ReadHello(without, true, identity));
  EXPECT_FALSE(identity.SupportsLargeFiles());
  // Other bits of the word say nothing of large files.
  own.helloTagValues[2] = ~kMiscOptions2LargeFiles;
  ASSERT_TRUE(ReadHello(BuildHelloPayload(own, true), true, identity));
  EXPECT_FALSE(identity.SupportsLargeFiles());
}

TEST(PeerMessagesTest, TruncatedHelloLeavesTheIdentityUnchanged) {
  const std::vector<uint8_t> hello = BuildHelloPayload(OwnConfig(), false);
  for (size_t length = 0; length < hello.size(); ++length) {
    _tagStructPeerIdentity identity;
    identity.userName = "before";
    EXPECT_FALSE(ReadHello(std::span(hello).first(length), false, identity)) << length;
    EXPECT_EQ(identity.userName, "before");
  }
}

TEST(PeerMessagesTest, InfoCarriesTheCapabilityFieldsAndTheVersionByte) {
  const _tagStructClientConfig own = OwnConfig();
  _tagStructPeerIdentity identity;
  ASSERT_TRUE(ReadInfo(BuildInfoPayload(own), identity));
  EXPECT_EQ((identity.clientVersion >> 17) & 0x7F, 3u);
  const uint32_t c = own.capabilities;
  EXPECT_EQ(SecureIdentVersion(identity.capabilities), SecureIdentVersion(c));
  EXPECT_EQ(SourceExchangeVersion(identity.capabilities), SourceExchangeVersion(c));
  EXPECT_EQ(ExtendedRequestVersion(identity.capabilities), ExtendedRequestVersion(c));
  EXPECT_EQ(CompressionVersion(identity.capabilities), CompressionVersion(c));
  EXPECT_EQ(identity.udpPort, own.udpPort);
}

TEST(PeerMessagesTest, InfoOfProtocolVersionOneFillsCompatibilityValues) {
  const std::vector<uint8_t> info = {36, 1, 0, 0, 0, 0};
  _tagStructPeerIdentity identity;
  ASSERT_TRUE(ReadInfo(info, identity));
  EXPECT_EQ(UdpVersion(identity.capabilities), 1u);
  EXPECT_EQ(SourceExchangeVersion(identity.capabilities), 1u);
  EXPECT_EQ(CommentVersion(identity.capabilities), 1u);
}

struct StatusCase {
  std::string name;
  uint32_t size;
  uint16_t wireCount;
};

class PartStatusTest : public ::testing::TestWithParam<StatusCase> {};

// Both ways the count is floor(size / part) + 1; for an exact multiple the last bit covers
// nothing and is written 0.
TEST_P(PartStatusTest, CountIsWholePartsPlusOneAndRoundTrips) {
  const StatusCase& c = GetParam();
  const uint32_t dataParts = c.size / kPart + (c.size % kPart != 0);
  std::vector<uint8_t> complete(dataParts, 1);
  std::vector<uint8_t> bytes;
  CStreamWriter writer(bytes);
  ASSERT_TRUE(WritePartStatus(writer, c.size, complete, false));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0] | (bytes[1] << 8), c.wireCount);
  if (c.size % kPart == 0) {
    const uint32_t last = c.wireCount - 1;
    EXPECT_EQ((bytes[2 + last / 8] >> (last % 8)) & 1, 0);
  }
  CStreamReader reader(bytes);
  auto parts = ReadPartStatus(reader, c.size);
  ASSERT_TRUE(parts.has_value());
  EXPECT_EQ(*parts, complete);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PartStatusTest,
                         ::testing::Values(StatusCase{"OnePartial", 1000, 1},
                                           StatusCase{"ExactOne", kPart, 2},
                                           StatusCase{"ThreeAndABit", 3 * kPart + 5, 4},
                                           StatusCase{"ExactEight", 8 * kPart, 9}),
                         [](const auto& info) { return info.param.name; });

TEST(PeerMessagesTest, PartStatusWithAWrongCountOrShortBitsIsRejected) {
  const uint32_t size = 3 * kPart + 5;  // count 4
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>{3, 0, 0xFF}, std::vector<uint8_t>{5, 0, 0xFF},
        std::vector<uint8_t>{4, 0}}) {
    CStreamReader reader(bytes);
    EXPECT_FALSE(ReadPartStatus(reader, size).has_value());
  }
  const std::vector<uint8_t> whole = {0, 0};
  CStreamReader reader(whole);
  auto parts = ReadPartStatus(reader, size);
  ASSERT_TRUE(parts.has_value());
  EXPECT_TRUE(parts->empty());
}

TEST(PeerMessagesTest, HashSetCountBeyondThePayloadIsRejected) {
  _tagUnionHash file;
  file.bytes.fill(1);
  std::vector<_tagUnionHash> hashes(3);
  std::vector<uint8_t> payload = BuildHashSetPayload(file, hashes);
  _tagUnionHash read;
  std::vector<_tagUnionHash> readHashes;
  ASSERT_TRUE(ReadHashSet(payload, read, readHashes));
  EXPECT_EQ(readHashes.size(), 3u);
  payload[16] = 200;
  EXPECT_FALSE(ReadHashSet(payload, read, readHashes));
}

std::vector<uint8_t> DataPayload(uint32_t start, uint32_t end, size_t dataBytes) {
  std::vector<uint8_t> bytes;
  CStreamWriter writer(bytes);
  writer.WriteHash({});
  writer.WriteUInt32(start);
  writer.WriteUInt32(end);
  writer.WriteBytes(std::vector<uint8_t>(dataBytes, 7));
  return bytes;
}

TEST(PeerMessagesTest, SendingPartMustMatchItsRangeAndStayWithinOneBlock) {
  _tagStructDataPacket packet;
  EXPECT_TRUE(ReadSendingPart(DataPayload(100, 200, 100), packet));
  EXPECT_EQ(packet.data.size(), 100u);
  EXPECT_FALSE(ReadSendingPart(DataPayload(100, 200, 99), packet));
  EXPECT_FALSE(ReadSendingPart(DataPayload(200, 100, 0), packet));
  EXPECT_FALSE(ReadSendingPart(DataPayload(0, 400000, 400000), packet));
}

TEST(PeerMessagesTest, CompressedPartWithAPackedLengthAboveTheCapIsRejected) {
  _tagStructDataPacket packet;
  EXPECT_TRUE(ReadCompressedPart(DataPayload(0, 5000, 100), packet));
  EXPECT_FALSE(ReadCompressedPart(DataPayload(0, 50, 100), packet));
  EXPECT_FALSE(ReadCompressedPart(DataPayload(0, 0xFFFFFFFF, 100), packet));
}

TEST(PeerMessagesTest, SourceCountLargerThanThePayloadIsRejected) {
  std::vector<uint8_t> bytes = {0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  CStreamReader reader(bytes);
  std::vector<_tagStructPeerSource> sources;
  EXPECT_FALSE(ReadSources(reader, false, sources));
  bytes[0] = 1;
  bytes[1] = 0;
  CStreamReader again(bytes);
  ASSERT_TRUE(ReadSources(again, false, sources));
  EXPECT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0].clientId, 0x04030201u);
}

}  // namespace
}  // namespace P2P::Protocol
