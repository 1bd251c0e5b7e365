#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/net/TARNNetC2CListener.h"
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

int ConnectTo(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
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
  CTARNNetC2CManager manager_;
  Client::CTARNNetClientList clients_;
  CTARNNetC2CListener listener_;
};

TEST_F(C2CListenerTest, AcceptedConnectionBecomesAQueuedClientThatAnswersAHello) {
  listener_.SetSessionOwner(&own_, &manager_, &clients_);
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

// Thousands of connections opened and left silent are all closed by the idle sweep, and their
// client records go with them.
TEST(C2CListenerFloodTest, SilentConnectionsAreSweptAndTheirClientsDropped) {
  tarn::test::ManualClock clock;
  _tagStructClientConfig own;
  own.maxConnections = 4096;  // the default would turn most of the flood away at once
  CTARNNetC2CManager manager;
  Client::CTARNNetClientList clients;
  CTARNNetC2CListener listener;
  ASSERT_TRUE(manager.Start());
  ASSERT_TRUE(listener.Create(0, SOCK_STREAM, 0, AF_INET, "127.0.0.1"));
  ASSERT_TRUE(listener.Listen(128));
  listener.SetSessionOwner(&own, &manager, &clients);
  constexpr size_t kConnections = 2000;
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

}  // namespace
}  // namespace P2P
