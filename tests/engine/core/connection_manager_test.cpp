#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/core/TARNNetConnectionManager.h"
#include "framework/SocketError.h"
#include "framework/TickSource.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace std::chrono_literals;
using OSTREL::Network::Socket::kWsaEConnRefused;
using OSTREL::Network::Socket::kWsaEHostUnreach;
using tarn::test::TestIndexServer;
using tarn::test::WaitUntil;
using ServerInfo = Remote::Server::_tagStructServerInfo;

// Media events come from the test, not from the machine's interfaces.
struct QuietMedia : OSTREL::Platform::IMediaEventSource {
  bool Subscribe(OSTREL::Platform::IMediaEventSink&) override { return true; }
  void Cancel() override {}
};

// Binds a UDP or TCP port on all interfaces, so the manager finds it taken.
struct PortHolder {
  int fd = -1;
  uint16_t port = 0;
  explicit PortHolder(int type) {
    fd = socket(AF_INET, type, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    port = ntohs(local.sin_port);
  }
  ~PortHolder() { close(fd); }
};

class ConnectionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OSTREL::Process::CTickSource::SetManualSpeed(1);
    servers_.Start(sandbox_.Root());
    config_.userName = "tester";
    config_.ed2kVersion = kEd2kVersion;
    config_.tcpPort = tcpHolder_.port;  // taken: the manager must move up
    config_.udpPort = udpHolder_.port;
    manager_.SetFirewallEnabled(false);
    manager_.SetMediaSource(std::make_unique<QuietMedia>());
  }
  void TearDown() override { manager_.Stop(); }

  // Two servers, `big` listed first by its file count.
  void ServeTwo(bool answerLogin) {
    for (auto* server : {&big_, &small_}) {
      server->Update([&](TestIndexServer::Settings& s) {
        s.answerLogin = answerLogin;
        s.address = server == &big_ ? "127.0.0.2" : "127.0.0.3";
        s.files = server == &big_ ? 100 : 50;  // status answers keep the order
      });
      ASSERT_TRUE(server->Start());
      ServerInfo* entry = servers_.AddAddress(server->Address(), server->Port());
      Remote::Server::StoreField(entry->status.files, server == &big_ ? 100 : 50);
    }
    servers_.List().Sort();
    bigEntry_ = servers_.FindByAddress(big_.Address());
  }
  size_t Logins(const TestIndexServer& server) const { return server.CountReceived(0x01, false); }

  tarn::test::ManualClock clock_;
  tarn::test::Sandbox sandbox_;
  PortHolder tcpHolder_{SOCK_STREAM}, udpHolder_{SOCK_DGRAM};
  _tagStructClientConfig config_;
  CTARNNetServerManager servers_;
  CTARNNetConnectionManager manager_{config_, servers_};
  TestIndexServer big_, small_;
  ServerInfo* bigEntry_ = nullptr;
};

TEST_F(ConnectionManagerTest, TakenPortsMoveUpAndStayInTheConfiguration) {
  ServeTwo(true);
  const uint16_t tcpWanted = config_.tcpPort, udpWanted = config_.udpPort;
  ASSERT_TRUE(manager_.Start());
  EXPECT_GT(config_.tcpPort, tcpWanted);
  EXPECT_GT(config_.udpPort, udpWanted);
  EXPECT_EQ(manager_.GetListener().GetLocalPort(), config_.tcpPort);
  EXPECT_EQ(manager_.GetPeerUDPConnecter().GetLocalPort(), config_.udpPort);
  // The login announces the port actually bound.
  ASSERT_TRUE(big_.WaitForPackets(0x01, false));
  for (const auto& packet : big_.Received()) {
    if (packet.opcode != 0x01 || packet.udp) continue;
    EXPECT_EQ(packet.payload[20] | packet.payload[21] << 8, config_.tcpPort);
  }
}

TEST_F(ConnectionManagerTest, HostUnreachableRetriesTheSameServerRefusedMovesOn) {
  ServeTwo(false);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(big_.WaitForPackets(0x01, false));

  manager_.Disconnected(bigEntry_, kWsaEHostUnreach);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Logins(big_), 1u) << "the reconnect waits a second";
  clock_.Advance(1000);
  ASSERT_TRUE(big_.WaitForPackets(0x01, false, 2));

  manager_.Disconnected(bigEntry_, kWsaEConnRefused);
  clock_.Advance(2000);  // the second failure in a row waits twice as long
  ASSERT_TRUE(small_.WaitForPackets(0x01, false));
  EXPECT_EQ(Logins(big_), 2u);
}

TEST_F(ConnectionManagerTest, ARefusingServerIsRetriedAfterGrowingPauses) {
  // A port nobody listens on: every connect is refused at once.
  uint16_t deadPort = 0;
  {
    PortHolder closed(SOCK_STREAM);
    deadPort = closed.port;
  }
  in_addr loopback{};
  inet_pton(AF_INET, "127.0.0.1", &loopback);
  servers_.AddAddress(loopback.s_addr, deadPort);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(WaitUntil([&] { return manager_.FailedAttempts() == 1; }));
  for (uint32_t failures = 1; failures < 4; ++failures) {
    const uint32_t pause = CReconnectBackoff::DelayAfter(failures);
    clock_.Advance(pause / 2);  // the fixture's clock also runs at real speed: keep a margin
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(manager_.FailedAttempts(), failures) << "retried before " << pause << " ms";
    clock_.Advance(pause / 2);
    ASSERT_TRUE(WaitUntil([&] { return manager_.FailedAttempts() == failures + 1; }));
  }
}

TEST(ReconnectBackoffTest, DoublesUpToFiveMinutesAndStartsAgainAfterALoginOrALoss) {
  CReconnectBackoff backoff;
  std::vector<uint32_t> pauses;
  for (int i = 0; i < 12; ++i) pauses.push_back(backoff.NoteFailure() / 1000);
  EXPECT_EQ(pauses, (std::vector<uint32_t>{1, 2, 4, 8, 16, 32, 64, 128, 256, 300, 300, 300}));
  EXPECT_EQ(backoff.NoteSuccess(), 12u);
  EXPECT_EQ(backoff.NoteFailure(), 1000u);
  backoff.NoteFailure();
  EXPECT_EQ(backoff.NoteLoss(), 1000u);
  EXPECT_EQ(backoff.NoteFailure(), 1000u);
  EXPECT_EQ(CReconnectBackoff::DelayAfter(0xFFFFFFFFu), CReconnectBackoff::kMaxDelay);
}

TEST_F(ConnectionManagerTest, ADroppedSessionLeadsToTheNextServer) {
  ServeTwo(true);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(WaitUntil([&] { return manager_.IsConnected(); }));
  big_.DropClients();
  ASSERT_TRUE(WaitUntil([&] { return !manager_.IsConnected(); }));
  clock_.Advance(1000);
  ASSERT_TRUE(small_.WaitForPackets(0x01, false));
  ASSERT_TRUE(WaitUntil([&] { return manager_.IsConnected(); }));
}

TEST_F(ConnectionManagerTest, NoReconnectWhileTheMediumIsDownOneAtOnceWhenItReturns) {
  ServeTwo(false);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(big_.WaitForPackets(0x01, false));
  manager_.OnMediaDisconnect();
  manager_.Disconnected(bigEntry_, kWsaEConnRefused);
  clock_.Advance(5000);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Logins(small_), 0u);
  manager_.OnMediaConnect();
  ASSERT_TRUE(small_.WaitForPackets(0x01, false));
}

TEST_F(ConnectionManagerTest, AMediaConnectWhileConnectedChangesNothing) {
  ServeTwo(true);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(WaitUntil([&] { return manager_.IsConnected(); }));
  manager_.OnMediaConnect();
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(manager_.IsConnected());
  EXPECT_EQ(Logins(big_), 1u);
  EXPECT_EQ(Logins(small_), 0u);
}

TEST_F(ConnectionManagerTest, SourceSweepsAtTheFirstTickEveryFiveMinutesAndAfterLogin) {
  ServeTwo(false);  // stays logged-in-pending until the test sends the id
  std::vector<Protocol::SSourceRequestEntry> downloads(16);
  for (size_t i = 0; i < downloads.size(); ++i) downloads[i].hash.bytes.fill(uint8_t(i));
  Protocol::SServerSessionHooks hooks;
  hooks.downloadsNeedingSources = [&] { return downloads; };
  manager_.SetHooks(hooks);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(big_.WaitForPackets(0x01, false));

  manager_.OnEngineTimer();
  ASSERT_TRUE(WaitUntil([&] { return manager_.SourceSweepCount() == 1; }));
  // Not connected: no TCP request, but every other server is asked over UDP.
  ASSERT_TRUE(small_.WaitForPackets(0x9A, true));
  EXPECT_EQ(big_.CountReceived(0x19, false), 0u);
  EXPECT_EQ(big_.CountReceived(0x9A, true), 0u);

  clock_.Advance(299000);
  manager_.OnEngineTimer();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(manager_.SourceSweepCount(), 1u);
  clock_.Advance(1000);
  manager_.OnEngineTimer();
  ASSERT_TRUE(WaitUntil([&] { return manager_.SourceSweepCount() == 2; }));

  // The login answer: a sweep follows at once, over TCP in groups of 15.
  big_.SendPacket(0x40, {1, 0, 0, 0x0A, 0, 0, 0, 0});
  ASSERT_TRUE(WaitUntil([&] { return manager_.SourceSweepCount() == 3; }));
  ASSERT_TRUE(big_.WaitForPackets(0x19, false, 2));
  std::vector<size_t> sizes;
  for (const auto& packet : big_.Received())
    if (packet.opcode == 0x19) sizes.push_back(packet.payload.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{15 * 20, 20}));
}

TEST_F(ConnectionManagerTest, StopIsPromptWithASilentServerAndAPendingReconnect) {
  ServeTwo(false);
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(big_.WaitForPackets(0x01, false));
  manager_.Disconnected(bigEntry_, kWsaEConnRefused);  // the reconnect now waits for the clock
  const auto start = std::chrono::steady_clock::now();
  manager_.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace P2P
