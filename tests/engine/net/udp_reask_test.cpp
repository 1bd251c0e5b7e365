// A download waiting in another engine's upload queue, both on loopback with their peer UDP
// endpoints: once the queued session ends, it asks again by a file reask ping every 29
// minutes, which keeps its place through hours a queue would otherwise forget it in; when the
// pings go unanswered twice it reconnects over TCP and finds its place still there.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/download/DownloadFileManager.h"
#include "engine/net/TARNNetC2CListener.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/net/TARNNetC2CUDPConnecter.h"
#include "engine/net/UdpReasker.h"
#include "engine/peers/ClientList.h"
#include "engine/transfer/TransferFileList.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Sandbox.h"
#include "tests/support/ServingEngine.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

namespace fs = std::filesystem;
using Client::CClientPtr;
using Client::CTARNNetClient;
using Shared::File::TransferFile::CTransferFilePtr;
using tarn::test::WaitUntil;

constexpr uint32_t kMinute = 60 * 1000;

class UdpReaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tarn::test::ServingEngine::Options options;
    options.scheduler.slots = 0;  // everyone waits
    options.udp = true;
    options.passMs = 20;
    ASSERT_TRUE(server_.Start(options));

    own_.userHash.bytes.fill(0x42);
    own_.capabilities = kCapabilityWord;
    own_.clientVersion = kClientVersionWord;
    ASSERT_TRUE(udp_.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
    own_.udpPort = udp_.GetLocalPort();
    // Where an uploader calls us back for our turn.
    ASSERT_TRUE(listener_.Create(0, SOCK_STREAM, 0, AF_INET, "127.0.0.1") && listener_.Listen(5));
    own_.tcpPort = listener_.GetLocalPort();
    listener_.SetSessionOwner(&context_, &peers_);
    context_.findFile = [](const _tagUnionHash& hash) {
      auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance();
      return files != nullptr ? files->FindByHash(hash) : CTransferFilePtr();
    };
    context_.clients = &clients_;
    context_.udpReasks = true;
    reasker_.Attach();
    clients_.SetConnectHook([this](const CClientPtr& client, bool callback) {
      ++connects_;
      auto* session = new CTARNNetC2CTCPConnecterT(context_, client);
      session->AddRef();
      const bool connecting = session->ConnectTo(peers_, callback);
      session->Release();
      return connecting;
    });
    ASSERT_TRUE(peers_.Start());
    Shared::File::TransferFile::SDownloadHooks hooks;
    hooks.sourceAdded = [this](const CTransferFilePtr& file,
                               const Remote::Peer::_tagStructPeer& source) {
      clients_.CreateDownloadSource(file->GetHash(), source.clientId, source.port,
                                    source.serverAddress, source.serverPort);
    };
    downloads_.SetHooks(hooks);
    fs::create_directories(sandbox_ / "temp");
    fs::create_directories(sandbox_ / "shared");
    ASSERT_TRUE(downloads_.Start(sandbox_ / "temp", sandbox_ / "shared"));
    Shared::_tagStructSharedFile record;
    record.hash = server_.FileHash();
    record.info.name = "served.bin";
    record.info.size = options.fileSize;
    ASSERT_TRUE(downloads_.AddDownload(record));
    ASSERT_TRUE(downloads_.AddSource(record.hash, 0x0100007F, server_.Port(), 0, 0));
  }
  void TearDown() override {
    listener_.SetSessionOwner(nullptr, nullptr);
    listener_.Close(true);
    reasker_.Detach();
    peers_.Stop();
    clients_.ClearAll();
    downloads_.Stop();
    udp_.Close(true);
    server_.Stop();
    if (auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance())
      files->Clear();
  }
  CClientPtr Source() {
    auto sources = clients_.DownloadQueue().Snapshot();
    return sources.size() == 1 ? sources.front() : CClientPtr();
  }
  bool SourceIn(uint32_t state, bool connected) {
    return WaitUntil([&] {
      const CClientPtr source = Source();
      return source && source->GetDownloadState() == state &&
             (source->GetSession() != nullptr) == connected;
    });
  }
  // Runs the reask pass each second for `milliseconds`, or until `until` holds; a ping sent
  // is answered (or not) before the clock moves on. The seconds passed.
  template <typename Until>
  uint32_t PassTime(uint32_t milliseconds, Until until) {
    uint32_t at = 0;
    while (at < milliseconds && !until()) {
      clock_.Advance(1000);
      at += 1000;
      const uint32_t before = Source() ? Source()->UnansweredUdpPings() : 0;
      clients_.ReaskPass();
      if (answering_ && Source() && Source()->UnansweredUdpPings() > before) {
        EXPECT_TRUE(WaitUntil([&] { return Source()->UnansweredUdpPings() == 0; }));
      }
    }
    return at / 1000;
  }
  uint32_t PassTime(uint32_t milliseconds) {
    return PassTime(milliseconds, [] { return false; });
  }
  bool PingsLost(uint32_t count) { return Source() && Source()->UnansweredUdpPings() == count; }
  uint32_t QueueRankAtServer() { return server_.Service().Scheduler().Rank(own_.userHash); }

  tarn::test::ManualClock clock_;
  tarn::test::Sandbox sandbox_;
  tarn::test::ServingEngine server_;
  _tagStructClientConfig own_;
  CPeerSessionContext context_{own_};
  Client::CTARNNetClientList clients_;
  CTARNNetC2CUDPConnecter udp_;
  CTARNNetUdpReasker reasker_{udp_, clients_};
  CTARNNetC2CManager peers_;
  CTARNNetC2CListener listener_;
  CTARNNetDownloadFileManager downloads_;
  int connects_ = 0;
  bool answering_ = true;
};

TEST_F(UdpReaskTest, AQueuedDownloadKeepsItsPlaceByPingsAndFallsBackToTcpWhenTheyGoUnanswered) {
  ASSERT_TRUE(SourceIn(Client::kDownloadQueued, true));
  ASSERT_EQ(QueueRankAtServer(), 1u);
  // The queued session goes idle and ends: the client now waits by UDP.
  clock_.Advance(CTARNNetPeerDownload::kQueuedIdleTimeout + 10000);
  ASSERT_TRUE(SourceIn(Client::kDownloadReask, false));

  // Three hours, a ping every 29 minutes: the server's queue, which forgets a waiter after an
  // hour of silence, keeps us first, and no connection is made.
  PassTime(3 * 60 * kMinute);
  server_.Pass();
  EXPECT_EQ(connects_, 1);
  EXPECT_EQ(QueueRankAtServer(), 1u);
  EXPECT_EQ(Source()->GetRemoteQueueRank(), 1);
  EXPECT_EQ(Source()->GetDownloadState(), Client::kDownloadReask);

  // The server's UDP goes silent: two pings are lost, then the client reconnects over TCP.
  server_.Udp().Close(true);
  answering_ = false;
  PassTime(29 * kMinute, [&] { return PingsLost(1); });
  ASSERT_TRUE(PingsLost(1));
  EXPECT_EQ(PassTime(kMinute, [&] { return PingsLost(2); }), 30u);
  EXPECT_EQ(connects_, 1);
  EXPECT_EQ(PassTime(kMinute, [&] { return connects_ == 2; }), 30u);
  ASSERT_TRUE(SourceIn(Client::kDownloadQueued, true));
  EXPECT_EQ(QueueRankAtServer(), 1u);
  // From now on it waits by TCP: the next session end asks again in 30 seconds.
  clock_.Advance(CTARNNetPeerDownload::kQueuedIdleTimeout + 10000);
  ASSERT_TRUE(SourceIn(Client::kDownloadQueued, false));
  PassTime(CTARNNetClient::kReaskPeriod);
  EXPECT_EQ(connects_, 3);
}

// Our turn comes while we wait by UDP: the uploader calls us back at the port our hello named,
// and the connection it opens takes over our source, so its grant brings us the data.
TEST_F(UdpReaskTest, AWaiterWithoutASessionIsCalledBackForItsSlotAndTakesTheData) {
  ASSERT_TRUE(SourceIn(Client::kDownloadQueued, true));
  clock_.Advance(CTARNNetPeerDownload::kQueuedIdleTimeout + 10000);
  ASSERT_TRUE(SourceIn(Client::kDownloadReask, false));
  PassTime(40 * kMinute);
  ASSERT_EQ(QueueRankAtServer(), 1u);
  const auto download = downloads_.List().FindByHash(server_.FileHash());
  ASSERT_TRUE(download);
  EXPECT_EQ(download->Data()->ReceivedBytes(), 0u);

  server_.Service().Scheduler().SetSlots(1);
  server_.Pass();
  EXPECT_TRUE(WaitUntil([&] { return download->Data()->ReceivedBytes() > 0; }));
  EXPECT_EQ(connects_, 1);  // we never reconnected: the data came on the call
  EXPECT_TRUE(server_.Service().Scheduler().IsUploading(own_.userHash));
  // The accepted connection's own client record left every list; our source took it over.
  EXPECT_EQ(clients_.Size(), 1u);
}

}  // namespace
}  // namespace P2P
