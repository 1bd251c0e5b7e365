#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/RecvTCPPacket.h"

namespace P2P::Protocol {
namespace {

using Bytes = std::vector<uint8_t>;

struct Received {
  uint8_t opcode, protocol;
  Bytes payload;
};

struct Recorder {
  std::vector<Received> packets;
  bool keepGoing = true;
  bool Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload) {
    packets.push_back({opcode, protocol, Bytes(payload.begin(), payload.end())});
    return keepGoing;
  }
};

Bytes Packet(uint8_t opcode, const std::string& payload, uint8_t protocol = kProtocolEDonkey) {
  CTARNNetTCPPacket packet(opcode, protocol);
  packet.Writer().WriteString(payload);
  EXPECT_TRUE(packet.Finish());
  return packet.Bytes();
}

Bytes Frame(uint8_t protocol, uint32_t length, const Bytes& body) {
  Bytes bytes{protocol};
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

Bytes Packed(uint8_t opcode, const Bytes& plain) {
  uLongf size = compressBound(plain.size());
  Bytes packed(size);
  EXPECT_EQ(compress2(packed.data(), &size, plain.data(), plain.size(), 9), Z_OK);
  packed.resize(size);
  packed.insert(packed.begin(), opcode);
  return Frame(kProtocolPacked, static_cast<uint32_t>(packed.size()), packed);
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(TcpPacketTest, BuilderPatchesTheLengthOfOpcodeAndPayload) {
  EXPECT_EQ(Packet(0x01, "abc", kProtocolExtended),
            (Bytes{0xC5, 4, 0, 0, 0, 0x01, 'a', 'b', 'c'}));
  EXPECT_EQ(Packet(0x38, ""), (Bytes{0xE3, 1, 0, 0, 0, 0x38}));
}

TEST(TcpPacketTest, EveryPrefixOfAPacketWaitsAndKeepsItsBytes) {
  const Bytes packet = Packet(0x15, "payload");
  for (size_t size = 0; size < packet.size(); ++size) {
    Recorder recorder;
    CTARNNetRecvTCPPacket<Recorder> parser(recorder);
    const SParseResult result = parser.ParseAll(std::span(packet).first(size));
    EXPECT_EQ(result.consumed, 0u) << size;
    EXPECT_EQ(result.last, ETcpParse::kIncomplete) << size;
    EXPECT_TRUE(recorder.packets.empty()) << size;
  }
}

TEST(TcpPacketTest, TwoAndAHalfPacketsThenTheRest) {
  const Bytes first = Packet(0x01, "one"), second = Packet(0x02, "two", kProtocolExtended),
              third = Packet(0x03, "three");
  Bytes buffer = Join({first, second, Bytes(third.begin(), third.begin() + 7)});
  Recorder recorder;
  CTARNNetRecvTCPPacket<Recorder> parser(recorder);
  SParseResult result = parser.ParseAll(buffer);
  EXPECT_EQ(result.consumed, first.size() + second.size());
  ASSERT_EQ(recorder.packets.size(), 2u);
  EXPECT_EQ(recorder.packets[0].opcode, 0x01);
  EXPECT_EQ(Text(recorder.packets[0].payload), "one");
  EXPECT_EQ(recorder.packets[1].protocol, kProtocolExtended);
  EXPECT_EQ(Text(recorder.packets[1].payload), "two");

  // The socket drops what was consumed and appends the next receive.
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(result.consumed));
  buffer.insert(buffer.end(), third.begin() + 7, third.end());
  result = parser.ParseAll(buffer);
  EXPECT_EQ(result.consumed, third.size());
  ASSERT_EQ(recorder.packets.size(), 3u);
  EXPECT_EQ(Text(recorder.packets[2].payload), "three");
}

TEST(TcpPacketTest, UnknownProtocolIsSkippedByItsLength) {
  const Bytes unknown = Frame(0x00, 10, Bytes(10, 0xAA));
  const Bytes next = Packet(0x05, "after");
  Recorder recorder;
  CTARNNetRecvTCPPacket<Recorder> parser(recorder);
  // Incomplete unknown packets wait like any other.
  EXPECT_EQ(parser.ParseAll(std::span(unknown).first(12)).consumed, 0u);
  const SParseResult result = parser.ParseAll(Join({unknown, next}));
  EXPECT_EQ(result.consumed, unknown.size() + next.size());
  ASSERT_EQ(recorder.packets.size(), 1u);
  EXPECT_EQ(Text(recorder.packets[0].payload), "after");
}

TEST(TcpPacketTest, PackedPayloadIsInflatedPastTheFirstBuffer) {
  Bytes plain(10000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 % 251);
  Recorder recorder;
  CTARNNetRecvTCPPacket<Recorder> parser(recorder);
  const Bytes packed = Packed(0x46, plain);
  EXPECT_EQ(parser.ParseAll(packed).consumed, packed.size());
  ASSERT_EQ(recorder.packets.size(), 1u);
  EXPECT_EQ(recorder.packets[0].opcode, 0x46);
  EXPECT_EQ(recorder.packets[0].protocol, kProtocolPacked);
  EXPECT_EQ(recorder.packets[0].payload, plain);
}

TEST(TcpPacketTest, PackedPacketsThatDoNotInflateAreDropped) {
  const Bytes garbage = Frame(kProtocolPacked, 6, {0x46, 1, 2, 3, 4, 5});
  Bytes truncated = Packed(0x46, Bytes(5000, 'x'));
  truncated.resize(truncated.size() - 3);
  truncated[1] -= 3;  // a valid frame around a cut-off zlib stream
  // Inflates to more than the cap allows.
  const Bytes bomb = Packed(0x46, Bytes(kMaxInflatedSize + 1, 0));
  const Bytes next = Packet(0x05, "after");
  Recorder recorder;
  CTARNNetRecvTCPPacket<Recorder> parser(recorder);
  const Bytes all = Join({garbage, truncated, bomb, next});
  EXPECT_EQ(parser.ParseAll(all).consumed, all.size());
  ASSERT_EQ(recorder.packets.size(), 1u);
  EXPECT_EQ(Text(recorder.packets[0].payload), "after");
}

TEST(TcpPacketTest, LengthAboveTheCapIsAFramingError) {
  const Bytes first = Packet(0x01, "ok");
  const Bytes huge = Frame(kProtocolEDonkey, kMaxTcpPacketLength + 1, {0x01});
  Recorder recorder;
  CTARNNetRecvTCPPacket<Recorder> parser(recorder);
  const SParseResult result = parser.ParseAll(Join({first, huge}));
  EXPECT_EQ(result.last, ETcpParse::kFramingError);
  EXPECT_EQ(result.consumed, first.size());
  EXPECT_EQ(recorder.packets.size(), 1u);
  // Unknown protocols get no pass either, and the cap itself is still a packet to wait for.
  EXPECT_EQ(parser.ParseAll(Frame(0x00, 0xFFFFFFFF, {})).last, ETcpParse::kFramingError);
  EXPECT_EQ(parser.ParseAll(Frame(kProtocolEDonkey, kMaxTcpPacketLength, {0x01})).last,
            ETcpParse::kIncomplete);
}

TEST(TcpPacketTest, HandlerCanStopTheParse) {
  const Bytes first = Packet(0x01, "a"), second = Packet(0x02, "b");
  Recorder recorder;
  recorder.keepGoing = false;
  CTARNNetRecvTCPPacket<Recorder> parser(recorder);
  const SParseResult result = parser.ParseAll(Join({first, second}));
  EXPECT_EQ(result.last, ETcpParse::kStopped);
  EXPECT_EQ(result.consumed, first.size());
  EXPECT_EQ(recorder.packets.size(), 1u);
}

TEST(TcpPacketTest, BuilderRefusesPacketsReceiversWouldReject) {
  CTARNNetTCPPacket packet(0x01);
  packet.Writer().WriteBytes(Bytes(kMaxTcpPacketLength, 0));
  EXPECT_FALSE(packet.Finish());
}

}  // namespace
}  // namespace P2P::Protocol
