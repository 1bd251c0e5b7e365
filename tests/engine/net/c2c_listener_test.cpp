#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "engine/net/TARNNetC2CListener.h"
#include "engine/peers/ClientList.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/LoopbackPair.h"
#include "tests/support/ManualClock.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using tarn::test::ReadExactly;
using tarn::test::WaitUntil;
using tarn::test::WriteAll;

int ConnectTo(uint16_t port, int receiveBuffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (receiveBuffer > 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = tarn::test::kLoopbackAddress;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

class C2CListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    own_.userName = "engine";
    ASSERT_TRUE(manager_.Start());
    ASSERT_TRUE(listener_.Create(0, SOCK_STREAM, 0, AF_INET, "127.0.0.1"));
    ASSERT_TRUE(listener_.Listen(5));
  }
  void TearDown() override {
    listener_.Close(true);
    manager_.Stop();
    clients_.ClearAll();
  }

  _tagStructClientConfig own_;
  Client::CTARNNetClientList clients_;
  CPeerSessionContext context_{own_};
  CTARNNetC2CManager manager_;
  CTARNNetC2CListener listener_;
};

TEST_F(C2CListenerTest, AcceptedConnectionBecomesAQueuedClientThatAnswersAHello) {
  context_.clients = &clients_;
  listener_.SetSessionOwner(&context_, &manager_);
  const int fd = ConnectTo(listener_.GetLocalPort());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WaitUntil([&] { return clients_.UploadQueue().Size() == 1; }));
  _tagStructClientConfig remote;
  remote.userName = "remote";
  const std::vector<uint8_t> hello =
      BuildPeerPacket(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(remote, false));
  ASSERT_TRUE(WriteAll(fd, std::string(hello.begin(), hello.end())));
  const std::vector<uint8_t> info =
      BuildPeerPacket(kProtocolExtended, kOpInfo, BuildInfoPayload(own_));
  EXPECT_EQ(ReadExactly(fd, info.size()), std::string(info.begin(), info.end()));
  EXPECT_EQ(clients_.Snapshot()[0]->GetUploadQueuePosition(), 0);
  EXPECT_EQ(manager_.ObjectCount(), 1u);
  close(fd);
}

TEST_F(C2CListenerTest, WithoutAnOwnerEveryConnectionIsClosed) {
  const int fd = ConnectTo(listener_.GetLocalPort());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadExactly(fd, 1), "");
  EXPECT_EQ(clients_.Size(), 0u);
  close(fd);
}

}  // namespace
}  // namespace P2P

namespace P2P {
namespace {

// A listener on loopback that builds its sessions from `context` (with `clients` as their
// client list) and hands them to `manager`.
void StartListening(CPeerSessionContext& context, Client::CTARNNetClientList& clients,
                    CTARNNetC2CManager& manager, CTARNNetC2CListener& listener) {
  ASSERT_TRUE(manager.Start());
  ASSERT_TRUE(listener.Create(0, SOCK_STREAM, 0, AF_INET, "127.0.0.1"));
  ASSERT_TRUE(listener.Listen(128));
  context.clients = &clients;
  listener.SetSessionOwner(&context, &manager);
}

// Thousands of connections opened and left silent are all closed by the idle sweep, and their
// client records go with them.
// Both ends of every connection live in this process.
bool EnoughDescriptors(rlim_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= wanted) return true;
  if (limit.rlim_max < wanted) return false;
  limit.rlim_cur = wanted;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

TEST(C2CListenerFloodTest, SilentConnectionsAreSweptAndTheirClientsDropped) {
  constexpr size_t kConnections = 2000;
  if (!EnoughDescriptors(2 * kConnections + 256))
    GTEST_SKIP() << "RLIMIT_NOFILE cannot be raised to " << 2 * kConnections + 256;
  tarn::test::ManualClock clock;
  _tagStructClientConfig own;
  own.maxConnections = 4096;  // the default would turn most of the flood away at once
  Client::CTARNNetClientList clients;
  CPeerSessionContext context(own);
  CTARNNetC2CManager manager;
  CTARNNetC2CListener listener;
  ASSERT_NO_FATAL_FAILURE(StartListening(context, clients, manager, listener));
  std::vector<int> fds;
  for (size_t i = 0; i < kConnections; ++i) {
    const int fd = ConnectTo(listener.GetLocalPort());
    ASSERT_GE(fd, 0);
    fds.push_back(fd);
  }
  ASSERT_TRUE(
      WaitUntil([&] { return manager.ObjectCount() == kConnections; }, std::chrono::seconds(20)));
  EXPECT_EQ(clients.Size(), kConnections);
  clock.Advance(30000);
  OSTREL::Process::CTickSource::SetManualSpeed(10);
  EXPECT_TRUE(WaitUntil([&] { return manager.ObjectCount() == 0 && clients.Size() == 0; },
                        std::chrono::seconds(20)));
  EXPECT_EQ(clients.UploadQueue().Size(), 0u);
  listener.Close(true);
  manager.Stop();
  for (int fd : fds) close(fd);
}

// A peer that keeps sending hellos and never reads the answers is closed once the answers it
// left unread pass the session's backlog cap; hellos from many connections cost one session
// each, and the idle sweep takes them all.
TEST(C2CListenerFloodTest, HelloFloodsEndInClosedSessionsNotGrowingQueues) {
  tarn::test::ManualClock clock;
  _tagStructClientConfig own;
  own.userName = "engine";
  Client::CTARNNetClientList clients;
  CPeerSessionContext context(own);
  CTARNNetC2CManager manager;
  CTARNNetC2CListener listener;
  ASSERT_NO_FATAL_FAILURE(StartListening(context, clients, manager, listener));
  _tagStructClientConfig remote;
  remote.userName = "flood";
  remote.userHash.bytes.fill(0x17);
  const std::vector<uint8_t> hello =
      BuildPeerPacket(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(remote, false));
  std::string burst;
  for (int i = 0; i < 1000; ++i) burst.append(hello.begin(), hello.end());

  const int flooder = ConnectTo(listener.GetLocalPort(), 4096);
  ASSERT_GE(flooder, 0);
  timeval patience{};
  patience.tv_sec = 10;  // a session that stopped reading but stays open fails, not hangs
  setsockopt(flooder, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof(patience));
  // The answers to this many hellos fill the socket buffers several times over.
  constexpr size_t kMostBytes = 64u * 1024 * 1024;
  bool closed = false;
  for (size_t sent = 0; sent < kMostBytes && !closed; sent += burst.size()) {
    const ssize_t wrote = send(flooder, burst.data(), burst.size(), MSG_NOSIGNAL);
    if (wrote < 0) {
      closed = errno == EPIPE || errno == ECONNRESET;
      break;
    }
  }
  EXPECT_TRUE(closed) << "the flooding session was never closed";
  close(flooder);

  constexpr size_t kHellos = 300;
  std::vector<int> fds;
  for (size_t i = 0; i < kHellos; ++i) {
    const int fd = ConnectTo(listener.GetLocalPort());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, std::string(hello.begin(), hello.end())));
    fds.push_back(fd);
  }
  // The closed flooder may still be counted until the sweep.
  ASSERT_TRUE(WaitUntil([&] { return manager.ObjectCount() >= kHellos; }, std::chrono::seconds(20)));
  EXPECT_LE(manager.ObjectCount(), kHellos + 1);
  EXPECT_LE(clients.Size(), kHellos + 1);
  clock.Advance(200000);
  OSTREL::Process::CTickSource::SetManualSpeed(10);
  EXPECT_TRUE(WaitUntil([&] { return manager.ObjectCount() == 0 && clients.Size() == 0; },
                        std::chrono::seconds(20)));
  listener.Close(true);
  manager.Stop();
  for (int fd : fds) close(fd);
}

}  // namespace
}  // namespace P2P
