#include <gtest/gtest.h>

#include "engine/peers/ClientList.h"
#include "tests/support/ManualClock.h"

namespace P2P::Client {
namespace {

using tarn::test::ManualClock;

struct FakeSession : ITARNNetClientSession {
  int closed = 0;
  int requestedAgain = 0;
  void CloseSession() override { ++closed; }
  void RequestFileAgain() override { ++requestedAgain; }
};

_tagUnionHash FileHash() {
  _tagUnionHash hash;
  hash.bytes.fill(0x11);
  return hash;
}

class ClientListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.SetConnectHook([this](const CClientPtr&, bool) {
      ++connects_;
      return connectSucceeds_;
    });
    list_.SetRemoveSourceHook([this](const _tagUnionHash& file, uint32_t id) {
      removed_.push_back({file, id});
    });
  }
  // A source whose session ended in `state` with the reask timer it leaves.
  CClientPtr EndedSource(uint32_t state, uint32_t reask) {
    CClientPtr client = list_.CreateDownloadSource(FileHash(), 0x0100007F, 4662, 0, 0);
    client->SetDownloadState(state);
    client->SetSession(nullptr);
    client->SetReask(reask);
    return client;
  }

  ManualClock clock_;
  CTARNNetClientList list_;
  bool connectSucceeds_ = true;
  int connects_ = 0;
  std::vector<std::pair<_tagUnionHash, uint32_t>> removed_;
};

TEST_F(ClientListTest, UploadQueueRenumbersAfterARemoval) {
  CClientPtr a = list_.CreateUploadClient(1, 1);
  CClientPtr b = list_.CreateUploadClient(2, 2);
  CClientPtr c = list_.CreateUploadClient(3, 3);
  EXPECT_EQ(c->GetUploadQueuePosition(), 2);
  list_.Drop(a.Get());
  EXPECT_EQ(b->GetUploadQueuePosition(), 0);
  EXPECT_EQ(c->GetUploadQueuePosition(), 1);
  EXPECT_EQ(list_.Size(), 2u);
  EXPECT_TRUE(removed_.empty());  // not a download source
}

TEST_F(ClientListTest, DownloadSourceConnectsAtOnceAndDropRemovesItFromItsDownload) {
  CClientPtr client = list_.CreateDownloadSource(FileHash(), 0x0100007F, 4662, 0, 0);
  EXPECT_EQ(connects_, 1);
  EXPECT_TRUE(list_.DownloadQueue().Contains(client.Get()));
  list_.Drop(client.Get());
  ASSERT_EQ(removed_.size(), 1u);
  EXPECT_EQ(removed_[0].first, FileHash());
  EXPECT_EQ(removed_[0].second, 0x0100007Fu);
  EXPECT_EQ(list_.Size(), 0u);
  EXPECT_EQ(list_.DownloadQueue().Size(), 0u);
}

struct ReaskCase {
  std::string name;
  uint32_t state;
  uint32_t period;
};

class ReaskTimingTest : public ClientListTest, public ::testing::WithParamInterface<ReaskCase> {};

TEST_P(ReaskTimingTest, ReconnectsExactlyWhenTheReaskTimerElapses) {
  const ReaskCase& c = GetParam();
  EndedSource(c.state, c.period);
  connects_ = 0;
  clock_.Advance(c.period - 1);
  list_.ReaskPass();
  EXPECT_EQ(connects_, 0);
  clock_.Advance(1);
  list_.ReaskPass();
  EXPECT_EQ(connects_, 1);
}

INSTANTIATE_TEST_SUITE_P(States, ReaskTimingTest,
                         ::testing::Values(ReaskCase{"Queued", kDownloadQueued, 30000},
                                           ReaskCase{"NothingNow", kDownloadNothingNow, 5000},
                                           ReaskCase{"NothingNeeded", kDownloadNothingNeeded,
                                                     60000},
                                           ReaskCase{"Receiving", kDownloadReceiving, 10000}),
                         [](const auto& info) { return info.param.name; });

TEST_F(ClientListTest, ClientsInOtherStatesAreNotReasked) {
  EndedSource(kDownloadIdle, 1000);
  EndedSource(kDownloadBlocksRequested, 1000);
  connects_ = 0;
  clock_.Advance(120000);
  list_.ReaskPass();
  EXPECT_EQ(connects_, 0);
}

TEST_F(ClientListTest, OpenSessionInStateNineRequestsTheFileAgainAfterItsRetry) {
  FakeSession session;
  CClientPtr client = list_.CreateDownloadSource(FileHash(), 0x0100007F, 4662, 0, 0);
  client->SetSession(&session);
  client->SetDownloadState(kDownloadNothingNeeded);
  client->SetRetry(10000);
  clock_.Advance(9999);
  list_.ReaskPass();
  EXPECT_EQ(session.requestedAgain, 0);
  clock_.Advance(1);
  list_.ReaskPass();
  EXPECT_EQ(session.requestedAgain, 1);
  EXPECT_EQ(client->GetDownloadState(), kDownloadIdle);
  clock_.Advance(100000);
  list_.ReaskPass();
  EXPECT_EQ(session.requestedAgain, 1);  // the retry timer is off again
  client->SetSession(nullptr);
}

TEST_F(ClientListTest, ASourceThatCannotConnectNowWaitsForTheReask) {
  connectSucceeds_ = false;
  CClientPtr client = list_.CreateDownloadSource(FileHash(), 0x0100007F, 4662, 0, 0);
  EXPECT_TRUE(list_.DownloadQueue().Contains(client.Get()));
  connectSucceeds_ = true;
  connects_ = 0;
  clock_.Advance(CTARNNetClient::kReaskPeriod);
  list_.ReaskPass();
  EXPECT_EQ(connects_, 1);
}

TEST_F(ClientListTest, SourcesOfAPausedDownloadStayAsTheyAreThroughAnHourOfPasses) {
  bool paused = true;
  list_.SetActiveHook([&](const _tagUnionHash& file) { return !(file == FileHash() && paused); });
  FakeSession session;
  CClientPtr open = list_.CreateDownloadSource(FileHash(), 0x0100007F, 4662, 0, 0);
  open->SetSession(&session);
  open->SetDownloadState(kDownloadNothingNeeded);
  open->SetRetry(10000);
  CClientPtr waiting = EndedSource(kDownloadQueued, 30000);
  connects_ = 0;
  for (int second = 0; second < 3600; ++second) {
    clock_.Advance(1000);
    list_.ReaskPass();
  }
  EXPECT_EQ(session.requestedAgain, 0);
  EXPECT_EQ(connects_, 0);
  EXPECT_EQ(open->GetDownloadState(), kDownloadNothingNeeded);
  EXPECT_EQ(waiting->GetDownloadState(), kDownloadQueued);
  EXPECT_EQ(list_.DownloadQueue().Size(), 2u);
  // Resumed, both are asked at the next pass: their timers ran out long ago.
  paused = false;
  list_.ReaskPass();
  EXPECT_EQ(session.requestedAgain, 1);
  EXPECT_EQ(connects_, 1);
  open->SetSession(nullptr);
}

TEST_F(ClientListTest, PingAnswersReachTheClientPingedAtThatEndpoint) {
  std::vector<CTARNNetClient*> pinged;
  list_.SetPingHook([&](const CClientPtr& client) {
    pinged.push_back(client.Get());
    return true;
  });
  const auto waiting = [&](uint32_t address, uint16_t udpPort) {
    CClientPtr client = EndedSource(kDownloadQueued, 0);
    client->SetEndpoint(address, 4662, 0, 0);
    Protocol::_tagStructPeerIdentity identity;
    identity.udpPort = udpPort;
    client->SetIdentity(identity);
    client->WaitByUdp();
    return client;
  };
  CClientPtr first = waiting(0x0200007F, 4672);
  CClientPtr other = waiting(0x0300007F, 4672);
  clock_.Advance(CTARNNetClient::kUdpReaskPeriod);
  list_.ReaskPass();
  ASSERT_EQ(pinged.size(), 2u);
  // An answer from an endpoint nobody was pinged at, or from the right address but another
  // port, changes nothing.
  list_.OnPingAnswer(0x0400007F, 4672, CTARNNetClientList::EPingAnswer::kRank, 5);
  list_.OnPingAnswer(0x0200007F, 4673, CTARNNetClientList::EPingAnswer::kRank, 5);
  EXPECT_EQ(first->UnansweredUdpPings(), 1u);
  list_.OnPingAnswer(0x0200007F, 4672, CTARNNetClientList::EPingAnswer::kRank, 5);
  EXPECT_EQ(first->UnansweredUdpPings(), 0u);
  EXPECT_EQ(first->GetRemoteQueueRank(), 5);
  EXPECT_FALSE(first->ReaskDue());
  list_.OnPingAnswer(0x0300007F, 4672, CTARNNetClientList::EPingAnswer::kFileNotFound);
  EXPECT_EQ(other->GetDownloadState(), kDownloadIdle);
  // The answered one is pinged again 29 minutes later; the other is asked no more.
  pinged.clear();
  clock_.Advance(CTARNNetClient::kUdpReaskPeriod);
  list_.ReaskPass();
  EXPECT_EQ(pinged, std::vector<CTARNNetClient*>{first.Get()});
  EXPECT_EQ(connects_, 2);  // the two sources' first connections only
}

}  // namespace
}  // namespace P2P::Client
