#include <gtest/gtest.h>

#include <locale.h>

#include <atomic>
#include <thread>

#include "engine/servers/ServerManager.h"
#include "platform/FileTypeName.h"
#include "service/automation/CollectionImpl.h"
#include "service/automation/ConnectionPoint.h"
#include "service/automation/ItemText.h"
#include "service/automation/P2PServiceManager.h"

namespace {

using namespace OSTREL::COM;

struct FileEvents : _IP2PFileListEvents {
  void OnFileAdded(uint32_t key) override { added += key; }
  void OnFileChanged(uint32_t) override { ++changed; }
  void OnFileRemoved(uint32_t) override { ++removed; }
  std::atomic<uint32_t> added{0};
  std::atomic<int> changed{0}, removed{0};
};

std::shared_ptr<SAutomationContext> NoEngine(std::shared_ptr<IEventExecutor> executor) {
  return SAutomationContext::Make(std::make_shared<SEngineParts>(), std::move(executor));
}

// Without an engine (not started, or failed to start) every object answers E_FAIL and
// touches nothing.
TEST(AutomationObjectsTest, WithoutEngineEverythingFailsCleanly) {
  auto executor = std::make_shared<CEventThread>();
  CP2PServiceManager manager(NoEngine(executor));
  std::shared_ptr<IP2PServerList> servers;
  ASSERT_EQ(manager.get_ServerList(&servers), S_OK);
  int32_t count = 0;
  EXPECT_EQ(servers->get_Count(&count), E_FAIL);
  std::shared_ptr<IP2PServer> server;
  EXPECT_EQ(servers->get_Item(1, &server), E_FAIL);
  std::shared_ptr<IP2PConfig> config;
  ASSERT_EQ(manager.get_Config(&config), S_OK);
  std::string text;
  EXPECT_EQ(config->get_UserName(&text), E_FAIL);
  EXPECT_EQ(config->put_UserName("x"), E_FAIL);
  std::shared_ptr<IP2PSearchRequest> request;
  ASSERT_EQ(manager.get_SearchRequest(&request), S_OK);
  EXPECT_EQ(request->Search(), E_FAIL);
  std::shared_ptr<IP2PSearchResultFileList> results;
  ASSERT_EQ(manager.get_SearchResultFileList(&results), S_OK);
  EXPECT_EQ(results->Download(1, std::nullopt, std::nullopt), E_FAIL);
  const std::string hash(32, 'A');
  EXPECT_EQ(manager.AddDownload(&hash, 10, std::nullopt, std::nullopt), E_FAIL);
  EXPECT_EQ(manager.get_DownloadFileList(nullptr), E_POINTER);
}

struct ServerEvents : _IP2PServerListEvents {
  void OnServerAdded(uint32_t key) override { added.push_back(key); }
  void OnServerChanged(uint32_t) override {}
  void OnServerRemoved(uint32_t) override {}
  std::vector<uint32_t> added;  // the event thread only, read after Flush
};

// The same objects the bus exports, used in-process over a bare server manager.
TEST(AutomationObjectsTest, ServerListInProcessRelaysEngineEventsUntilUnadvised) {
  P2P::CTARNNetServerManager servers;
  auto parts = std::make_shared<SEngineParts>();
  parts->servers = &servers;
  auto executor = std::make_shared<CEventThread>();
  CP2PServiceManager manager(SAutomationContext::Make(parts, executor));
  std::shared_ptr<IP2PServerList> list;
  ASSERT_EQ(manager.get_ServerList(&list), S_OK);

  servers.AddAddress(0x0100007F, 4661);  // before any sink: no event
  auto events = std::make_shared<ServerEvents>();
  uint32_t cookie = 0;
  ASSERT_EQ(list->Advise(events, &cookie), S_OK);
  const auto* second = servers.AddAddress(0x0200007F, 4661);
  ASSERT_NE(second, nullptr);
  executor->Flush();
  EXPECT_EQ(events->added, std::vector<uint32_t>{second->id});

  int32_t count = 0;
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);
  std::shared_ptr<IP2PServer> item;
  ASSERT_EQ(list->get_Item(2, &item), S_OK);
  int32_t key = 0;
  EXPECT_EQ(item->get_Key(&key), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(key), servers.At(2)->id);
  EXPECT_EQ(item->get_Key(nullptr), E_POINTER);
  EXPECT_EQ(list->get_Item(3, &item), E_FAIL);

  ASSERT_EQ(list->Unadvise(cookie), S_OK);
  servers.AddAddress(0x0300007F, 4661);
  executor->Flush();
  EXPECT_EQ(events->added.size(), 1u);
}

TEST(ConnectionPointTest, EventsFlowWhileAnySinkRemainsAndArePostedNotCalled) {
  auto executor = std::make_shared<CEventThread>();
  auto context = NoEngine(executor);
  auto point = CConnectionPointT<_IP2PFileListEvents>::Make(
      context, IEngineEventSubscriber::Source::kDownloads, &DeliverFileEvent);
  auto first = std::make_shared<FileEvents>();
  auto second = std::make_shared<FileEvents>();
  uint32_t firstCookie = 0, secondCookie = 0;
  ASSERT_EQ(point->Advise(first, &firstCookie), S_OK);
  ASSERT_EQ(point->Advise(second, &secondCookie), S_OK);
  EXPECT_NE(firstCookie, secondCookie);
  EXPECT_EQ(point->Advise(first, nullptr), E_POINTER);

  point->OnEngineEvent(IEngineEventSubscriber::Source::kDownloads,
                       IEngineEventSubscriber::Kind::kAdded, 7);
  point->OnEngineEvent(IEngineEventSubscriber::Source::kServers,
                       IEngineEventSubscriber::Kind::kAdded, 100);  // another list's event
  executor->Flush();
  EXPECT_EQ(first->added.load(), 7u);
  EXPECT_EQ(second->added.load(), 7u);

  // One sink leaving does not silence the other.
  ASSERT_EQ(point->Unadvise(firstCookie), S_OK);
  point->OnEngineEvent(IEngineEventSubscriber::Source::kDownloads,
                       IEngineEventSubscriber::Kind::kRemoved, 7);
  executor->Flush();
  EXPECT_EQ(first->removed.load(), 0);
  EXPECT_EQ(second->removed.load(), 1);
  EXPECT_EQ(point->Unadvise(firstCookie), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(point->Unadvise(secondCookie), S_OK);
}

TEST(EventQueueTest, DropsPastItsBoundAndCountsTheDrops) {
  CEventQueue queue(3);
  int ran = 0;
  for (int i = 0; i < 5; ++i) queue.Push([&] { ++ran; });
  EXPECT_EQ(queue.Dropped(), 2u);
  EXPECT_EQ(queue.Drain(), 3u);
  EXPECT_EQ(ran, 3);
  EXPECT_TRUE(queue.Empty());
}

// An engine thread posting to a sink that never returns is not held up: the queue fills,
// posts beyond it are dropped, and Post keeps returning at once.
TEST(EventThreadTest, AStuckSinkCostsBoundedMemoryAndNeverBlocksThePoster) {
  auto executor = std::make_shared<CEventThread>();
  std::atomic<bool> release{false}, running{false};
  executor->Post([&] {
    running.store(true);
    while (!release.load()) std::this_thread::yield();
  });
  while (!running.load()) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  size_t accepted = 0;
  for (size_t i = 0; i < CEventThread::kCapacity + 100; ++i) accepted += executor->Post([] {});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LE(accepted, CEventThread::kCapacity);
  release.store(true);
  executor->Flush();
}

TEST(ItemTextTest, FileTimesFollowTheLocaleWithoutSeconds) {
  ::setlocale(LC_TIME, "C");
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  // 2021-03-04 05:06:07 UTC as a FILETIME.
  const int64_t fileTime = (int64_t{1614834367} * 10000000) + 116444736000000000;
  EXPECT_EQ(FileTimeText(fileTime), "03/04/21 05:06");
  EXPECT_EQ(FileTimeText(0), "");
}

TEST(FileTypeNameTest, KnownTypesAndAFallback) {
  EXPECT_FALSE(OSTREL::Platform::FileTypeName("song.mp3").empty());
  EXPECT_EQ(OSTREL::Platform::FileTypeName("noextension"), "File");
  const std::string odd = OSTREL::Platform::FileTypeName("thing.zzqq");
  EXPECT_FALSE(odd.empty());
}

}  // namespace
