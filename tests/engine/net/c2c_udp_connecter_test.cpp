#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/net/TARNNetC2CUDPConnecter.h"
#include "tests/support/LoopbackPair.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using Bytes = std::vector<uint8_t>;
using tarn::test::kLoopbackAddress;
using tarn::test::WaitUntil;

// A plain UDP socket on 127.0.0.1 standing for another client.
class PeerSocket {
 public:
  PeerSocket() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = kLoopbackAddress;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    timeval wait{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~PeerSocket() { close(fd_); }
  uint16_t Port() const { return port_; }
  void SendTo(uint16_t port, const Bytes& datagram) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = kLoopbackAddress;
    to.sin_port = htons(port);
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  Bytes Receive() const {
    Bytes buffer(2048);
    const ssize_t size = recv(fd_, buffer.data(), buffer.size(), 0);
    buffer.resize(size < 0 ? 0 : static_cast<size_t>(size));
    return buffer;
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// The owner's side: notes every event and answers a reask ping with a rank, as an upload
// queue would.
struct Answerer : Protocol::ITARNNetC2CUDPEventDispatcher {
  std::mutex lock;
  std::vector<std::string> events;
  void Note(const std::string& event) {
    std::lock_guard guard(lock);
    events.push_back(event);
  }
  size_t Count() {
    std::lock_guard guard(lock);
    return events.size();
  }
  void OnReaskFilePing(Protocol::ITARNNetC2CUDPDispatcher& udp, const Protocol::SUdpSender& from,
                       const _tagUnionHash&) override {
    Note("ping");
    udp.SendReaskAck(from.address, from.port, 3);
  }
  void OnQueueFull(Protocol::ITARNNetC2CUDPDispatcher&, const Protocol::SUdpSender&) override {
    Note("full");
  }
  void OnPortTest(Protocol::ITARNNetC2CUDPDispatcher&, const Protocol::SUdpSender&) override {
    Note("port test");
  }
};

class PeerUdpConnecterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    udp_.SetEventDispatcher(&answerer_);
    ASSERT_TRUE(udp_.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
    port_ = udp_.GetLocalPort();
  }
  void TearDown() override { udp_.Close(true); }

  Answerer answerer_;
  CTARNNetC2CUDPConnecter udp_;
  uint16_t port_ = 0;
  PeerSocket peer_;
};

TEST_F(PeerUdpConnecterTest, ReaskPingIsHandedToTheOwnerWhichAnswersWithARank) {
  Bytes ping{0xC5, 0x90};
  ping.resize(18, 0x42);
  peer_.SendTo(port_, ping);
  EXPECT_EQ(peer_.Receive(), (Bytes{0xC5, 0x91, 0x03, 0x00}));
  EXPECT_EQ(answerer_.events, std::vector<std::string>{"ping"});
}

TEST_F(PeerUdpConnecterTest, BrokenDatagramsAreDroppedAndLaterOnesStillArrive) {
  for (const Bytes& junk : {Bytes{0xC5}, Bytes{0xD4, 0x92}, Bytes{0xC5, 0x90, 1, 2},
                            Bytes{0xC5, 0xFE, 0x13}, Bytes{0xC5, 0x77}, Bytes{}})
    peer_.SendTo(port_, junk);
  peer_.SendTo(port_, {0xE3, 0x92});
  peer_.SendTo(port_, {0xC5, 0xFE, 0x12});
  ASSERT_TRUE(WaitUntil([&] { return answerer_.Count() == 2; }));
  EXPECT_EQ(answerer_.events, (std::vector<std::string>{"full", "port test"}));
  // Only the known opcodes with bad payloads count as refused: the short ping and the wrong
  // port-test byte.
  EXPECT_EQ(udp_.GetRefusalCount(), 2u);
  EXPECT_EQ(udp_.GetLastRefusal().field, "port test byte");
  EXPECT_EQ(udp_.GetLastRefusal().reason, Protocol::ERefusalReason::kMalformed);
}

TEST_F(PeerUdpConnecterTest, SendOperationsWriteOneDatagramEach) {
  _tagUnionHash hash;
  hash.bytes.fill(0x5A);
  ASSERT_TRUE(udp_.SendReaskFilePing(kLoopbackAddress, peer_.Port(), hash));
  Bytes ping{0xC5, 0x90};
  ping.resize(18, 0x5A);
  EXPECT_EQ(peer_.Receive(), ping);
  ASSERT_TRUE(udp_.SendQueueFull(kLoopbackAddress, peer_.Port()));
  EXPECT_EQ(peer_.Receive(), (Bytes{0xC5, 0x92}));
  ASSERT_TRUE(udp_.SendFileNotFound(kLoopbackAddress, peer_.Port()));
  EXPECT_EQ(peer_.Receive(), (Bytes{0xC5, 0x93}));
  ASSERT_TRUE(udp_.SendPeerUdp94(kLoopbackAddress, peer_.Port()));
  EXPECT_EQ(peer_.Receive(), (Bytes{0xC5, 0x94}));
  ASSERT_TRUE(udp_.SendPortTest(kLoopbackAddress, peer_.Port()));
  EXPECT_EQ(peer_.Receive(), (Bytes{0xE3, 0xFE, 0x12}));

  udp_.Close(true);
  EXPECT_FALSE(udp_.SendPortTest(kLoopbackAddress, peer_.Port()));
}

}  // namespace
}  // namespace P2P
