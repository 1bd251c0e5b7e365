#include "framework/WaitMultipleSocketsManager.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/LoopbackPair.h"
#include "tests/support/ManualClock.h"
#include "tests/support/WaitUntil.h"

namespace OSTREL::Network::Socket {
namespace {

using tarn::test::WaitUntil;

std::atomic<int> destroyed{0};

class PeerConnection : public CManagedObjectT<PeerConnection> {
 public:
  ~PeerConnection() override {
    Close(true);
    ++destroyed;
  }
  std::atomic<size_t> receivedBytes{0};
  std::atomic<bool> removeOnClose{false};

 protected:
  size_t OnReceiveData(std::span<const uint8_t> pending) override {
    receivedBytes += pending.size();
    return pending.size();
  }
  void OnClose(int) override {
    if (removeOnClose && GetManager() != nullptr) GetManager()->Remove(this);
  }
};

// Holds the test's own reference, so the object can be inspected after the manager let go.
struct Held {
  explicit Held(PeerConnection* object) : object(object) { object->AddRef(); }
  ~Held() { object->Release(); }
  PeerConnection* operator->() const { return object; }
  PeerConnection* object;
};

PeerConnection* NewDatagramPeer() {
  auto* peer = new PeerConnection;
  peer->Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1");
  return peer;
}

class WaitMultipleSocketsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    destroyed = 0;
    ASSERT_TRUE(manager_.Start());
  }
  void TearDown() override { manager_.Stop(); }

  // Small wait objects, so that spreading over several is seen with few sockets.
  CWaitMultipleSocketsManagerImpl manager_{62};
};

TEST_F(WaitMultipleSocketsTest, SixtyThirdSocketOpensASecondWaitObjectAndItsRemovalRetiresIt) {
  std::vector<std::unique_ptr<Held>> peers;
  for (int i = 0; i < 62; ++i) {
    peers.push_back(std::make_unique<Held>(NewDatagramPeer()));
    ASSERT_TRUE(manager_.Add(peers.back()->object));
  }
  EXPECT_EQ(manager_.WaitObjectCount(), 1u);
  Held extra(NewDatagramPeer());
  ASSERT_TRUE(manager_.Add(extra.object));
  EXPECT_EQ(manager_.WaitObjectCount(), 2u);
  EXPECT_EQ(manager_.ObjectCount(), 63u);

  EXPECT_TRUE(manager_.Remove(extra.object));
  EXPECT_FALSE(manager_.Remove(extra.object));
  EXPECT_FALSE(extra->IsOpen());  // removal closes the socket hard
  EXPECT_EQ(manager_.WaitObjectCount(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return manager_.WaitObjectsAlive() == 1; }));

  // A freed slot in the first wait object is used again before a new one is made.
  EXPECT_TRUE(manager_.Remove(peers[10]->object));
  Held again(NewDatagramPeer());
  ASSERT_TRUE(manager_.Add(again.object));
  EXPECT_EQ(manager_.WaitObjectCount(), 1u);
}

// By default one wait object (one thread) takes as many sockets as epoll allows.
TEST(WaitMultipleSocketsCapacityTest, OneWaitObjectServesHundredsOfSockets) {
  EXPECT_GT(CWaitMultipleSockets::SystemCapacity(), 10000u);
  CWaitMultipleSocketsManagerImpl manager;
  ASSERT_TRUE(manager.Start());
  std::vector<std::unique_ptr<Held>> peers;
  for (int i = 0; i < 300; ++i) {
    peers.push_back(std::make_unique<Held>(NewDatagramPeer()));
    ASSERT_TRUE(manager.Add(peers.back()->object));
  }
  EXPECT_EQ(manager.WaitObjectCount(), 1u);
  EXPECT_EQ(manager.ObjectCount(), 300u);
  // The last socket added is still served.
  const uint8_t datagram[] = {1, 2, 3};
  ASSERT_TRUE(peers.front()->object->SendTo(datagram, htonl(INADDR_LOOPBACK),
                                            peers.back()->object->GetLocalPort()));
  EXPECT_TRUE(WaitUntil([&] { return peers.back()->object->receivedBytes.load() == 3; }));
  manager.Stop();
}

TEST_F(WaitMultipleSocketsTest, DeliversTrafficAndRemovalFromAHandlerIsSafe) {
  tarn::test::LoopbackPair pair;
  ASSERT_TRUE(pair.IsValid());
  auto* peer = new PeerConnection;
  Held held(peer);
  peer->removeOnClose = true;
  ASSERT_TRUE(peer->Attach(pair.TakeClient()));
  ASSERT_TRUE(manager_.Add(peer));
  const std::string payload(100000, 'p');
  ASSERT_TRUE(tarn::test::WriteAll(pair.Server(), payload));
  ASSERT_TRUE(WaitUntil([&] { return peer->receivedBytes == payload.size(); }));

  const uint8_t answer[] = {1, 2, 3};
  ASSERT_TRUE(peer->Send(answer));
  EXPECT_EQ(tarn::test::ReadExactly(pair.Server(), 3), std::string("\1\2\3"));

  close(pair.TakeServer());
  EXPECT_TRUE(WaitUntil([&] { return manager_.ObjectCount() == 0; }));
  EXPECT_TRUE(WaitUntil([&] { return manager_.WaitObjectsAlive() == 0; }));
  EXPECT_EQ(peer->GetRefCount(), 1);  // only the test's own reference is left
}

TEST(WaitMultipleSocketsSweepTest, RemovesSilentAndClosedConnectionsWithinASecond) {
  // The clock first: a wait begun on the real clock would not notice the manual one.
  tarn::test::ManualClock clock;
  CWaitMultipleSocketsManagerImpl manager;
  ASSERT_TRUE(manager.Start());
  tarn::test::LoopbackPair silentPair, talkingPair;
  ASSERT_TRUE(silentPair.IsValid() && talkingPair.IsValid());
  auto* silent = new PeerConnection;
  auto* talking = new PeerConnection;
  Held heldSilent(silent), heldTalking(talking);
  ASSERT_TRUE(silent->Attach(silentPair.TakeClient()));
  ASSERT_TRUE(talking->Attach(talkingPair.TakeClient()));
  ASSERT_TRUE(manager.Add(silent));
  ASSERT_TRUE(manager.Add(talking));

  clock.Advance(29000);
  ASSERT_TRUE(tarn::test::WriteAll(talkingPair.Server(), "keep"));
  ASSERT_TRUE(WaitUntil([&] { return talking->receivedBytes == 4; }));
  EXPECT_EQ(manager.ObjectCount(), 2u);

  clock.Advance(1000);  // the silent one has now been idle for 30000 ms
  // From here the clock runs (ten times real speed): a sweep that was under way during the
  // jump waits its full period again, as it would on the real clock.
  const uint32_t idleSince = clock.Now();
  OSTREL::Process::CTickSource::SetManualSpeed(10);
  ASSERT_TRUE(WaitUntil([&] { return manager.ObjectCount() == 1 && !silent->IsOpen(); }));
  EXPECT_LT(clock.Now() - idleSince, 5000u);
  EXPECT_TRUE(talking->IsOpen());

  talking->Close(false);  // a closed socket goes at the next sweep, idle or not
  const uint32_t closedAt = clock.Now();
  ASSERT_TRUE(WaitUntil([&] { return manager.ObjectCount() == 0; }));
  EXPECT_LT(clock.Now() - closedAt, 5000u);
}

TEST(WaitMultipleSocketsManagerTest, StopReleasesEveryObjectAndRefusesNewOnes) {
  destroyed = 0;
  CWaitMultipleSocketsManagerImpl manager(62);
  ASSERT_TRUE(manager.Start());
  for (int i = 0; i < 70; ++i) ASSERT_TRUE(manager.Add(NewDatagramPeer()));
  EXPECT_EQ(manager.WaitObjectCount(), 2u);
  manager.Stop();
  EXPECT_EQ(destroyed.load(), 70);
  EXPECT_EQ(manager.WaitObjectsAlive(), 0);

  auto* late = NewDatagramPeer();
  late->AddRef();
  EXPECT_FALSE(manager.Add(late));
  EXPECT_EQ(late->Release(), 0);  // the refused Add gave its reference back
  EXPECT_EQ(destroyed.load(), 71);
}

}  // namespace
}  // namespace OSTREL::Network::Socket
