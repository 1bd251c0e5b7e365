#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/library/FileCategory.h"
#include "engine/search/SearchExprManager.h"
#include "engine/search/SearchManager.h"
#include "tests/engine/search/SearchEventRecorder.h"
#include "tests/support/ManualClock.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

using tarn::test::WaitUntil;

struct SSentSearch {
  bool udp = false;
  uint32_t address = 0;
  bool search3 = false;
  std::vector<uint8_t> body;
};

// Stands in for the server sessions: records what the manager sends.
class CFakeSessions {
 public:
  SSearchSenders Senders() {
    SSearchSenders senders;
    senders.isConnected = [this] { return connected.load(); };
    senders.sendTcp = [this](std::span<const uint8_t> body) {
      Note({false, 0, false, {body.begin(), body.end()}});
      return true;
    };
    senders.sendUdp = [this](uint32_t address, uint16_t, std::span<const uint8_t> body,
                             bool search3) {
      Note({true, address, search3, {body.begin(), body.end()}});
      return true;
    };
    return senders;
  }
  std::vector<SSentSearch> Sent() const {
    std::lock_guard guard(lock_);
    return sent_;
  }
  size_t UdpCount() const {
    std::lock_guard guard(lock_);
    size_t count = 0;
    for (const SSentSearch& sent : sent_) count += sent.udp ? 1 : 0;
    return count;
  }
  std::atomic<bool> connected{true};

 private:
  void Note(SSentSearch sent) {
    std::lock_guard guard(lock_);
    sent_.push_back(std::move(sent));
  }
  mutable std::mutex lock_;
  std::vector<SSentSearch> sent_;
};

Shared::_tagStructSharedFile Answer(uint8_t hashByte, std::string name) {
  Shared::_tagStructSharedFile record;
  record.hash.bytes.fill(hashByte);
  record.info.name = std::move(name);
  record.info.sourceCount = 1;
  return record;
}

CTARNNetSearchManager::Params Params(std::string text, std::string type = "") {
  CTARNNetSearchManager::Params params;
  params.expression = std::move(text);
  params.fileType = std::move(type);
  return params;
}

std::vector<uint8_t> BodyOf(const CTARNNetSearchManager::Params& params) {
  std::vector<uint8_t> body;
  Shared::Search::SearchParam::CTARNNetSearchExprManager::GetInstance()->BuildSearchBody(params,
                                                                                         body);
  return body;
}

class SearchManagerTest : public ::testing::Test {
 protected:
  // Servers 10.0.0.1 (current, UDP flags 0x02), 10.0.0.2 (0x00), 10.0.0.3 (0x02).
  SearchManagerTest() {
    const uint32_t udpFlags[] = {0x02, 0x00, 0x02};
    for (uint32_t i = 0; i < 3; ++i) {
      Remote::Server::_tagStructServerInfo server;
      server.address = 0x0A + ((i + 1) << 24);
      server.port = 4661;
      server.status.udpFlags = udpFlags[i];
      server.status.files = 100 - i;  // keeps the list order
      servers_.Add(server);
    }
    servers_.SetCurrentServer(servers_.At(1));
    manager_.SetSenders(sessions_.Senders());
    manager_.SetServerManager(&servers_);
    manager_.Advise(&events_);
  }
  ~SearchManagerTest() override { manager_.Stop(); }

  uint32_t ServerAddress(size_t position) { return servers_.At(position)->address; }
  bool WaitForSends(uint32_t count) {
    return WaitUntil([&] { return manager_.CompletedSends() >= count; });
  }

  CTARNNetServerManager servers_;
  CFakeSessions sessions_;
  P2P::test::CSearchEventRecorder events_;
  CTARNNetSearchManager manager_;
};

TEST_F(SearchManagerTest, SendsOverTcpThenUdpToEveryOtherServer) {
  ASSERT_TRUE(manager_.Start());
  const auto params = Params("live set", "Audio");
  ASSERT_TRUE(manager_.Search(params));
  ASSERT_TRUE(WaitForSends(1));

  const std::vector<uint8_t> body = BodyOf(params);
  const std::vector<SSentSearch> sent = sessions_.Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_FALSE(sent[0].udp);
  EXPECT_EQ(sent[1].address, ServerAddress(2));
  EXPECT_FALSE(sent[1].search3);
  EXPECT_EQ(sent[2].address, ServerAddress(3));
  EXPECT_TRUE(sent[2].search3);
  for (const SSentSearch& one : sent) EXPECT_EQ(one.body, body);
  EXPECT_EQ(events_.Started(), 1);
  EXPECT_TRUE(WaitUntil([&] { return events_.Notified() == 1; }));
  EXPECT_EQ(manager_.GetResultList().GetCategory(), Shared::File::kCategoryAudio);
  EXPECT_EQ(manager_.GetResultList().GetWords(), (std::vector<std::string>{"live", "set"}));
}

TEST_F(SearchManagerTest, WithoutServerSessionOnlyUdpRunsToAllServers) {
  sessions_.connected = false;
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(manager_.Search(Params("abc")));
  ASSERT_TRUE(WaitForSends(1));
  const std::vector<SSentSearch> sent = sessions_.Sent();
  ASSERT_EQ(sent.size(), 3u);
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_TRUE(sent[i].udp);
    EXPECT_EQ(sent[i].address, ServerAddress(i + 1));
  }
}

TEST_F(SearchManagerTest, FailedStartChangesNothing) {
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(manager_.Search(Params("abc")));
  ASSERT_TRUE(manager_.AddAnswer(Answer(1, "abc.mp3")));
  ASSERT_TRUE(WaitForSends(1));

  EXPECT_FALSE(manager_.Search(Params("")));
  EXPECT_FALSE(manager_.Search(Params("abc AND")));
  EXPECT_FALSE(manager_.Search(Params("NOT abc")));
  EXPECT_EQ(events_.Started(), 1);
  EXPECT_EQ(manager_.GetResultList().Count(), 1u);
  EXPECT_EQ(manager_.GetResultList().GetWords(), std::vector<std::string>{"abc"});
  EXPECT_EQ(manager_.CompletedSends(), 1u);
  EXPECT_EQ(sessions_.Sent().size(), 3u);
}

TEST_F(SearchManagerTest, NewSearchClearsResults) {
  ASSERT_TRUE(manager_.Search(Params("abc")));
  ASSERT_TRUE(manager_.AddAnswer(Answer(1, "abc.mp3")));
  ASSERT_TRUE(manager_.AddAnswer(Answer(1, "abc.mp3")));
  EXPECT_EQ(events_.Added().size(), 1u);
  EXPECT_EQ(events_.Changed().size(), 1u);

  ASSERT_TRUE(manager_.Search(Params("xyz")));
  EXPECT_EQ(manager_.GetResultList().Count(), 0u);
  EXPECT_FALSE(manager_.AddAnswer(Answer(1, "abc.mp3")));
  EXPECT_EQ(events_.Started(), 2);
}

TEST_F(SearchManagerTest, CancelEndsTheUdpWalk) {
  tarn::test::ManualClock clock;
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(manager_.Search(Params("abc")));
  // The walk has sent to the first server and pauses on the frozen clock.
  ASSERT_TRUE(WaitUntil([&] { return sessions_.UdpCount() == 1; }));
  EXPECT_FALSE(manager_.IsStopped());
  manager_.CancelSearch();
  ASSERT_TRUE(WaitForSends(1));
  EXPECT_EQ(sessions_.UdpCount(), 1u);
  EXPECT_TRUE(manager_.IsStopped());  // no more results asked for
  // Answers are still taken until the next search, which resets the cancel.
  EXPECT_TRUE(manager_.AddAnswer(Answer(2, "abc.ogg")));
  ASSERT_TRUE(manager_.Search(Params("abc")));
  EXPECT_FALSE(manager_.IsSearchCancelled());
}

TEST_F(SearchManagerTest, PausesBetweenServersAndANewSearchEndsTheOldWalk) {
  tarn::test::ManualClock clock;
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(manager_.Search(Params("old")));
  ASSERT_TRUE(WaitUntil([&] { return sessions_.UdpCount() == 1; }));
  clock.Advance(CTARNNetSearchManager::kServerPause - 1);
  EXPECT_FALSE(WaitUntil([&] { return sessions_.UdpCount() == 2; }, std::chrono::milliseconds(30)));

  const auto fresh = Params("new");
  ASSERT_TRUE(manager_.Search(fresh));
  clock.Advance(1);  // the old walk wakes, sees the newer search and ends
  ASSERT_TRUE(WaitForSends(1));
  ASSERT_TRUE(WaitUntil([&] { return sessions_.UdpCount() == 2; }));
  // Moves the clock on until the walk, pausing again, reaches the last server.
  ASSERT_TRUE(WaitUntil([&] {
    clock.Advance(1);
    return manager_.CompletedSends() == 2;
  }));
  const std::vector<SSentSearch> sent = sessions_.Sent();
  ASSERT_EQ(sent.size(), 5u);  // old: TCP, one UDP; new: TCP, two UDP
  EXPECT_EQ(sent[2].body, BodyOf(fresh));
  EXPECT_EQ(sent[4].body, BodyOf(fresh));
}

TEST_F(SearchManagerTest, StopEndsAPausedWalkAtOnce) {
  tarn::test::ManualClock clock;
  ASSERT_TRUE(manager_.Start());
  ASSERT_TRUE(manager_.Search(Params("abc")));
  ASSERT_TRUE(WaitUntil([&] { return sessions_.UdpCount() == 1; }));
  manager_.Stop();
  EXPECT_FALSE(manager_.IsRunning());
  EXPECT_TRUE(manager_.IsStopped());
  EXPECT_EQ(sessions_.UdpCount(), 1u);
}

TEST_F(SearchManagerTest, HandsAResultToTheDownloadSide) {
  std::vector<Shared::_tagStructSharedFile> handed;
  manager_.SetDownloadHandOver([&handed](const Shared::_tagStructSharedFile& record) {
    handed.push_back(record);
    return true;
  });
  ASSERT_TRUE(manager_.Search(Params("abc")));
  const auto result = manager_.AddAnswer(Answer(4, "abc.iso"));
  ASSERT_TRUE(result);
  EXPECT_TRUE(manager_.Download(result->GetId()));
  EXPECT_FALSE(manager_.Download(result->GetId() + 1000));
  ASSERT_EQ(handed.size(), 1u);
  EXPECT_EQ(handed[0].info.name, "abc.iso");
}

}  // namespace
}  // namespace P2P
