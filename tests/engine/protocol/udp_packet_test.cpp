#include <gtest/gtest.h>

#include <vector>

#include "engine/protocol/Packet.h"
#include "engine/protocol/RecvUDPPacket.h"

namespace P2P::Protocol {
namespace {

using Bytes = std::vector<uint8_t>;

// Each packet's first payload byte says how many payload bytes it claims.
struct Recorder {
  std::vector<Bytes> packets;
  SUdpSender sender;
  size_t Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload,
                  const SUdpSender& from) {
    sender = from;
    Bytes seen{protocol, opcode};
    const size_t claimed = payload.empty() ? 0 : payload[0];
    seen.insert(seen.end(), payload.begin(), payload.begin() + std::min(claimed, payload.size()));
    packets.push_back(seen);
    return claimed;
  }
};

struct Case {
  const char* name;
  Bytes datagram;
  std::vector<Bytes> expected;
};

TEST(UdpPacketTest, DatagramsSplitIntoPacketsAsHandlersConsume) {
  const std::vector<Case> cases = {
      {"two packets", {0xE3, 0x96, 2, 9, 0xC5, 0x90, 1}, {{0xE3, 0x96, 2, 9}, {0xC5, 0x90, 1}}},
      {"packed ends the datagram", {0xE3, 0x96, 1, 0xD4, 0x90, 1}, {{0xE3, 0x96, 1}}},
      {"unknown byte ends it", {0x00, 0xE3, 0x96, 1}, {}},
      {"claim past the end is clamped", {0xE3, 0x96, 200, 1}, {{0xE3, 0x96, 200, 1}}},
      {"lone protocol byte", {0xE3, 0x96, 1, 0xE3}, {{0xE3, 0x96, 1}}},
      {"header only", {0xE3, 0x96}, {{0xE3, 0x96}}},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    CTARNNetRecvUDPPacket<Recorder> parser(recorder, {0x0100007F, 4661});
    parser.ParseDatagram(c.datagram);
    EXPECT_EQ(recorder.packets, c.expected) << c.name;
  }
}

TEST(UdpPacketTest, HandlerSeesTheSenderAndServerPortsAreShifted) {
  Recorder recorder;
  CTARNNetRecvUDPPacket<Recorder> parser(recorder, {0x0100007F, ServerPortFromSourcePort(4665)});
  parser.ParseDatagram(Bytes{0xE3, 0x97, 0});
  EXPECT_EQ(recorder.sender.address, 0x0100007Fu);
  EXPECT_EQ(recorder.sender.port, 4661);
}

TEST(UdpPacketTest, BuilderWritesProtocolOpcodeAndStaysWithinADatagram) {
  CTARNNetUDPPacket packet(0x9A, kProtocolExtended);
  EXPECT_TRUE(packet.Writer().WriteUInt16(0x1234));
  EXPECT_EQ(packet.Bytes(), (Bytes{0xC5, 0x9A, 0x34, 0x12}));
  EXPECT_FALSE(packet.Writer().WriteBytes(Bytes(70000, 0)));
  EXPECT_EQ(packet.Bytes().size(), 4u);
}

}  // namespace
}  // namespace P2P::Protocol
