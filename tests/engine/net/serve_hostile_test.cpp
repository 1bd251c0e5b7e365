// The serving engine against clients that break the rules, over loopback: a real listener, real
// peer sessions and the upload service, driven by raw sockets. Whatever they ask, nothing
// outside verified data leaves the engine, the queue stays within "Max Queue", connections
// beyond "Max Connections" are turned away, and no slot is lost to a client without a session.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/hashing/HashConstants.h"
#include "engine/net/ServedSessionRegistry.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/LogCapture.h"
#include "tests/support/LoopbackPair.h"
#include "tests/support/RawPeerClient.h"
#include "tests/support/ServingEngine.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using namespace Protocol;
using namespace std::chrono_literals;
using tarn::test::RawPeerClient;
using tarn::test::ServingEngine;
using tarn::test::WaitUntil;
constexpr uint32_t kPart = HASH::kPartSize;

_tagUnionHash User(uint32_t n) {
  _tagUnionHash hash;
  hash.bytes.fill(0x33);
  std::memcpy(hash.bytes.data() + 4, &n, sizeof n);
  return hash;
}

std::unique_ptr<RawPeerClient> Greeted(const ServingEngine& engine, uint32_t n) {
  auto client = std::make_unique<RawPeerClient>(User(n));
  if (!client->Connect(engine.Port()) || !client->Hello()) return nullptr;
  return client;
}

// True when the engine ends the stream within a few seconds; what it sent before is skipped.
bool Closed(RawPeerClient& client) {
  char bytes[4096];
  for (;;) {
    pollfd ready{client.Fd(), POLLIN, 0};
    if (poll(&ready, 1, 3000) != 1) return false;
    const ssize_t got = recv(client.Fd(), bytes, sizeof bytes, 0);
    if (got == 0) return true;
    if (got < 0) return errno != EAGAIN && errno != EINTR;
  }
}

class ServeHostileTest : public ::testing::Test {
 protected:
  void Start(ServingEngine::Options options) { ASSERT_TRUE(engine_.Start(options)); }
  ServingEngine engine_;
};

// A download of three parts of which the middle one is not verified.
TEST_F(ServeHostileTest, NoRequestGetsAByteOutsideVerifiedDataAndUnknownFilesEndTheSession) {
  ServingEngine::Options options;
  options.fileSize = 2 * kPart + 5000;
  options.verifiedParts = {1, 0, 1};
  Start(options);
  const _tagUnionHash file = engine_.FileHash();
  auto client = Greeted(engine_, 1);
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->SendHashed(kOpStartUploadRequest, file));
  ASSERT_EQ(client->Read().opcode, kOpAcceptUploadRequest);

  const uint32_t size = options.fileSize;
  const std::vector<std::pair<uint32_t, uint32_t>> refused = {
      {size - 10, size + 10},                   // runs past the end
      {size + 100, size + 200},                 // wholly outside
      {0xFFFFFF00u, 0xFFFFFFFFu},               // far outside
      {kPart + 10, kPart + 1000},               // in the unverified part
      {kPart - 100, kPart + 100},               // straddles into it
      {2000, 1000},                             // reversed
      {0, kMaxUploadRequestLength + 1},         // longer than a request may be
  };
  for (const auto& [start, end] : refused) {
    ASSERT_TRUE(client->RequestParts(file, {start, 0, 0}, {end, 0, 0}));
    EXPECT_EQ(client->Read().opcode, kOpOutOfPartRequests) << start << "-" << end;
  }
  // A good pair next to a bad one: the whole request is refused.
  ASSERT_TRUE(client->RequestParts(file, {0, kPart, 0}, {1000, kPart + 1000, 0}));
  EXPECT_EQ(client->Read().opcode, kOpOutOfPartRequests);
  // Still served what is verified: the file's last bytes.
  ASSERT_TRUE(client->RequestParts(file, {size - 3000, 0, 0}, {size, 0, 0}));
  const RawPeerClient::Packet data = client->Read();
  RawPeerClient::Data range;
  ASSERT_TRUE(RawPeerClient::ParseData(data, range));
  EXPECT_EQ(range.start, size - 3000);
  EXPECT_EQ(range.end, size);
  EXPECT_EQ(static_cast<uint8_t>(data.body[24]), ServingEngine::ByteAt(size - 3000));
  EXPECT_EQ(engine_.UnverifiedReads(), 0u);

  // Unknown hashes: file not found, then the session ends.
  _tagUnionHash unknown = file;
  unknown.bytes[15] ^= 0xFF;
  for (uint8_t opcode : {kOpStartUploadRequest, kOpRequestParts}) {
    auto stranger = Greeted(engine_, 2);
    ASSERT_TRUE(stranger);
    if (opcode == kOpRequestParts)
      ASSERT_TRUE(stranger->RequestParts(unknown, {0, 0, 0}, {1000, 0, 0}));
    else
      ASSERT_TRUE(stranger->SendHashed(opcode, unknown));
    EXPECT_EQ(stranger->Read().opcode, kOpFileNotFound);
    EXPECT_TRUE(Closed(*stranger));
  }
  // Asking for data without asking to upload gets the queue rank, not data.
  auto pushy = Greeted(engine_, 3);
  ASSERT_TRUE(pushy);
  ASSERT_TRUE(pushy->RequestParts(file, {0, 0, 0}, {1000, 0, 0}));
  EXPECT_EQ(pushy->Read().opcode, kOpQueueRank);
  EXPECT_EQ(engine_.UnverifiedReads(), 0u);
}

// A flood of start-upload requests from one client holds one place; a client that keeps saying
// hello under new user hashes leaves no phantom behind that could be called to a slot.
TEST_F(ServeHostileTest, FloodsOfRequestsAndOfIdentitiesHoldOnePlaceAndWasteNoSlot) {
  ServingEngine::Options options;
  options.scheduler.slots = 2;
  options.scheduler.maxQueue = 300;
  Start(options);
  const _tagUnionHash file = engine_.FileHash();
  auto holder = Greeted(engine_, 1);
  ASSERT_TRUE(holder);
  ASSERT_TRUE(holder->SendHashed(kOpStartUploadRequest, file));
  ASSERT_EQ(holder->Read().opcode, kOpAcceptUploadRequest);

  std::vector<uint8_t> flood;
  const std::vector<uint8_t> ask =
      BuildPeerPacket(kProtocolEDonkey, kOpStartUploadRequest, file.bytes);
  for (int i = 0; i < 2000; ++i) flood.insert(flood.end(), ask.begin(), ask.end());
  ASSERT_TRUE(holder->Send(kProtocolExtended, kOpPortTest));  // marks the flood's end below
  ASSERT_TRUE(tarn::test::WriteAll(holder->Fd(), std::string(flood.begin(), flood.end())));
  ASSERT_TRUE(holder->Send(kProtocolExtended, kOpPortTest));
  ASSERT_EQ(holder->ReadUntil(kOpPortTestAnswer).opcode, kOpPortTestAnswer);
  ASSERT_EQ(holder->ReadUntil(kOpPortTestAnswer, 10s).opcode, kOpPortTestAnswer);
  EXPECT_EQ(engine_.Service().Scheduler().SlotsInUse(), 1u);
  EXPECT_EQ(engine_.Service().Scheduler().QueueLength(), 0u);

  // 1000 identities on one connection, each asking to upload, more than the queue holds.
  RawPeerClient chameleon(User(1000));
  ASSERT_TRUE(chameleon.Connect(engine_.Port()));
  std::string burst;
  for (uint32_t n = 0; n < 1000; ++n) {
    _tagStructClientConfig identity;
    identity.userHash = User(1000 + n);
    const auto hello = BuildPeerPacket(kProtocolEDonkey, kOpPeerHello,
                                       BuildHelloPayload(identity, false));
    burst.append(hello.begin(), hello.end());
    burst.append(ask.begin(), ask.end());
  }
  ASSERT_TRUE(tarn::test::WriteAll(chameleon.Fd(), burst));
  ASSERT_TRUE(chameleon.Send(kProtocolExtended, kOpPortTest));
  ASSERT_EQ(chameleon.ReadUntil(kOpPortTestAnswer, 20s).opcode, kOpPortTestAnswer);
  Client::CTARNNetUploadScheduler& scheduler = engine_.Service().Scheduler();
  EXPECT_LE(scheduler.QueueLength(), options.scheduler.maxQueue);
  EXPECT_EQ(scheduler.SlotsInUse(), 2u);  // the last identity holds the second slot
  chameleon.Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return scheduler.SlotsInUse() == 1; }));
  // None of the identities left behind has a session: the free slot goes to a newcomer.
  engine_.Pass();
  auto newcomer = Greeted(engine_, 5000);
  ASSERT_TRUE(newcomer);
  ASSERT_TRUE(newcomer->SendHashed(kOpStartUploadRequest, file));
  EXPECT_EQ(newcomer->Read().opcode, kOpAcceptUploadRequest);
  EXPECT_EQ(engine_.Context()->served.Size(), 2u);
}

// 6000 clients ask in waves and hang up: 5000 keep a place, the rest are refused silently, and
// the engine keeps no session or client record of any of them.
TEST_F(ServeHostileTest, SixThousandQueuedClientsStayWithinMaxQueueAndLeaveNothingOpen) {
  ServingEngine::Options options;
  options.scheduler.slots = 1;
  options.scheduler.maxQueue = 5000;
  options.maxConnections = 2100;
  Start(options);
  const _tagUnionHash file = engine_.FileHash();
  auto holder = Greeted(engine_, 1);
  ASSERT_TRUE(holder);
  ASSERT_TRUE(holder->SendHashed(kOpStartUploadRequest, file));
  ASSERT_EQ(holder->Read().opcode, kOpAcceptUploadRequest);

  constexpr uint32_t kClients = 6000, kWave = 1000;
  const std::vector<uint8_t> ask =
      BuildPeerPacket(kProtocolEDonkey, kOpStartUploadRequest, file.bytes);
  const std::vector<uint8_t> portTest = BuildPeerPacket(kProtocolExtended, kOpPortTest, {});
  uint32_t ranked = 0, unanswered = 0;
  for (uint32_t first = 0; first < kClients; first += kWave) {
    std::vector<std::unique_ptr<RawPeerClient>> wave;
    for (uint32_t n = first; n < first + kWave; ++n) {
      auto client = std::make_unique<RawPeerClient>(User(10 + n));
      ASSERT_TRUE(client->Connect(engine_.Port()));
      std::vector<uint8_t> bytes = client->HelloPacket();
      bytes.insert(bytes.end(), ask.begin(), ask.end());
      bytes.insert(bytes.end(), portTest.begin(), portTest.end());
      ASSERT_TRUE(tarn::test::WriteAll(client->Fd(), std::string(bytes.begin(), bytes.end())));
      wave.push_back(std::move(client));
    }
    for (auto& client : wave) {
      bool gotRank = false;
      for (RawPeerClient::Packet packet = client->Read(); packet.opcode != 0;
           packet = client->Read()) {
        if (packet.opcode == kOpQueueRank) gotRank = true;
        if (packet.opcode == kOpAcceptUploadRequest) ADD_FAILURE() << "a slot was given";
        if (packet.opcode == kOpPortTestAnswer) break;
      }
      ++(gotRank ? ranked : unanswered);
    }
    wave.clear();
    // The next wave comes once the engine has room for it.
    ASSERT_TRUE(WaitUntil(
        [&] { return engine_.Sessions().ObjectCount() + kWave <= options.maxConnections; }, 10s));
  }
  EXPECT_EQ(ranked, options.scheduler.maxQueue);
  EXPECT_EQ(unanswered, kClients - options.scheduler.maxQueue);
  Client::CTARNNetUploadScheduler& scheduler = engine_.Service().Scheduler();
  EXPECT_EQ(scheduler.QueueLength(), options.scheduler.maxQueue);
  // Only the slot holder keeps a session and a client record; the waiters are known by hash.
  EXPECT_TRUE(WaitUntil([&] { return engine_.Sessions().ObjectCount() == 1; }, 10s));
  EXPECT_EQ(engine_.Clients().Size(), 1u);
  EXPECT_EQ(engine_.Context()->served.Size(), 1u);
}

// Connections beyond "Max Connections" are closed as they are accepted, counted, and logged
// once for the burst; the sessions already open go on.
TEST_F(ServeHostileTest, ConnectionsBeyondMaxConnectionsAreRefusedAndLoggedOncePerBurst) {
  tarn::test::LogCapture log;
  ServingEngine::Options options;
  options.maxConnections = 3;
  Start(options);
  std::vector<std::unique_ptr<RawPeerClient>> admitted;
  for (uint32_t n = 0; n < 3; ++n) {
    admitted.push_back(Greeted(engine_, n));
    ASSERT_TRUE(admitted.back());
  }
  std::vector<std::unique_ptr<RawPeerClient>> refused;
  for (uint32_t n = 0; n < 20; ++n) {
    refused.push_back(std::make_unique<RawPeerClient>(User(100 + n)));
    ASSERT_TRUE(refused.back()->Connect(engine_.Port()));
  }
  for (auto& client : refused) EXPECT_TRUE(Closed(*client));
  EXPECT_EQ(engine_.Listener().GetRefusedConnections(), 20u);
  EXPECT_EQ(log.LinesWith("refusing new connections").size(), 1u);
  EXPECT_EQ(engine_.Sessions().ObjectCount(), 3u);
  ASSERT_TRUE(admitted[0]->SendHashed(kOpStartUploadRequest, engine_.FileHash()));
  EXPECT_EQ(admitted[0]->Read().opcode, kOpAcceptUploadRequest);
  // A place that frees is taken again.
  admitted.pop_back();
  ASSERT_TRUE(WaitUntil([&] { return engine_.Sessions().ObjectCount() == 2; }));
  EXPECT_TRUE(Greeted(engine_, 50));
}

}  // namespace
}  // namespace P2P
