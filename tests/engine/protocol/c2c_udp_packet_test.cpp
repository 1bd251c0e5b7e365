#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/protocol/C2CRecvUDPPacket.h"

namespace P2P::Protocol {
namespace {

using Bytes = std::vector<uint8_t>;

// Records each handler call as a short text.
struct Recorder : ITARNNetC2CUDPDispatcher {
  std::vector<std::string> calls;
  void OnReaskFilePing(const SUdpSender&, const _tagUnionHash& hash) override {
    calls.push_back("ping " + hash.ToHex().substr(0, 4));
  }
  void OnReaskAck(const SUdpSender&, uint16_t rank) override {
    calls.push_back("rank " + std::to_string(rank));
  }
  void OnQueueFull(const SUdpSender&) override { calls.push_back("full"); }
  void OnFileNotFound(const SUdpSender&) override { calls.push_back("not found"); }
  void OnPeerUdp94(const SUdpSender&) override { calls.push_back("94"); }
  void OnPortTest(const SUdpSender&) override { calls.push_back("port test"); }
  bool SendReaskFilePing(uint32_t, uint16_t, const _tagUnionHash&) override { return false; }
  bool SendReaskAck(uint32_t, uint16_t, uint16_t) override { return false; }
  bool SendQueueFull(uint32_t, uint16_t) override { return false; }
  bool SendFileNotFound(uint32_t, uint16_t) override { return false; }
  bool SendPeerUdp94(uint32_t, uint16_t) override { return false; }
  bool SendPortTest(uint32_t, uint16_t) override { return false; }
};

struct DatagramCase {
  const char* name;
  Bytes datagram;
  const char* call;  // nullptr: refused, no handler called
};

Bytes Ping(uint8_t protocol, size_t hashBytes) {
  Bytes datagram(2 + hashBytes, 0xAB);
  datagram[0] = protocol;
  datagram[1] = 0x90;
  return datagram;
}

class PeerUdpDatagramTest : public ::testing::TestWithParam<DatagramCase> {};

TEST_P(PeerUdpDatagramTest, ReachesItsHandlerOnlyWhenWhole) {
  Recorder recorder;
  CTARNNetC2CRecvUDPPacket parser(recorder, {0x0100007F, 4672});
  const bool handled = parser.ParseDatagram(GetParam().datagram);
  if (GetParam().call == nullptr) {
    EXPECT_FALSE(handled);
    EXPECT_TRUE(recorder.calls.empty());
  } else {
    EXPECT_TRUE(handled);
    EXPECT_EQ(recorder.calls, std::vector<std::string>{GetParam().call});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, PeerUdpDatagramTest,
    ::testing::Values(DatagramCase{"Ping", Ping(0xC5, 16), "ping ABAB"},
                      DatagramCase{"PingUnderE3WithMoreAfterTheHash", Ping(0xE3, 20), "ping ABAB"},
                      DatagramCase{"PingShortHash", Ping(0xC5, 15), nullptr},
                      DatagramCase{"Rank", {0xC5, 0x91, 0x07, 0x01}, "rank 263"},
                      DatagramCase{"RankOneByte", {0xC5, 0x91, 0x07}, nullptr},
                      DatagramCase{"QueueFull", {0xC5, 0x92}, "full"},
                      DatagramCase{"FileNotFound", {0xE3, 0x93, 0x00}, "not found"},
                      DatagramCase{"Opcode94", {0xC5, 0x94, 1, 2}, "94"},
                      DatagramCase{"PortTest", {0xE3, 0xFE, 0x12}, "port test"},
                      DatagramCase{"PortTestOtherByte", {0xC5, 0xFE, 0x13}, nullptr},
                      DatagramCase{"PortTestEmpty", {0xC5, 0xFE}, nullptr},
                      DatagramCase{"Packed", {0xD4, 0x92}, nullptr},
                      DatagramCase{"UnknownOpcode", {0xC5, 0x95}, nullptr},
                      DatagramCase{"OneByte", {0xC5}, nullptr}, DatagramCase{"Empty", {}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PeerUdpBuildTest, DatagramsCarryWhatTheirReadersNeed) {
  _tagUnionHash hash;
  hash.bytes.fill(0x11);
  Bytes ping(18, 0x11);
  ping[0] = 0xC5;
  ping[1] = 0x90;
  EXPECT_EQ(BuildReaskFilePing(hash), ping);
  EXPECT_EQ(BuildReaskAck(0x0102), (Bytes{0xC5, 0x91, 0x02, 0x01}));
  EXPECT_EQ(BuildPeerUdpSignal(kOpQueueFull), (Bytes{0xC5, 0x92}));
  EXPECT_EQ(BuildPortTest(), (Bytes{0xE3, 0xFE, 0x12}));
}

}  // namespace
}  // namespace P2P::Protocol
