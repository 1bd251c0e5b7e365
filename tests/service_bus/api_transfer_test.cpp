#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "engine/download/DownloadFileManager.h"
#include "engine/servers/ServerManager.h"
#include "engine/upload/UploadFileManager.h"
#include "service/automation/FileRecords.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/service_bus/ApiBusFixture.h"
#include "tests/support/WaitUntil.h"

extern char** environ;

namespace tarn::test {
namespace {

std::string Key(const char* event, int32_t key) {
  return std::string(event) + " " + std::to_string(static_cast<uint32_t>(key));
}

// A download started through the API progresses, completes and turns up as a shared file;
// both lists tell their sinks, and the shared item answers and renames.
TEST_F(ApiBusTest, DownloadProgressAndCompletionReachTheClient) {
  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PSharedFileList> shared;
  ASSERT_EQ(manager_->get_DownloadFileList(&downloads), S_OK);
  ASSERT_EQ(manager_->get_SharedFileList(&shared), S_OK);
  auto downloadEvents = std::make_shared<EventRecorder>();
  auto sharedEvents = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(downloads->Advise(downloadEvents, &cookie), S_OK);
  ASSERT_EQ(shared->Advise(sharedEvents, &cookie), S_OK);

  const auto content = PseudoRandomBytes(300000, 7);
  const auto record = P2P::test::RecordFor(content, "tune.ogg");
  const std::string hash = record.hash.ToHex();
  ASSERT_EQ(manager_->AddDownload(&hash, static_cast<int32_t>(content.size()), std::nullopt,
                                  std::string("tune.ogg")),
            S_OK);
  auto file = module_->GetDownloadFileManager().List().FindByHash(record.hash);
  ASSERT_TRUE(file);
  const int32_t key = static_cast<int32_t>(file->GetId());
  std::shared_ptr<IP2PDownloadFile> item;
  ASSERT_EQ(downloads->get_ItemByKey(key, &item), S_OK);
  // The name a peer's file name answer gave is the download's alternative name.
  file->SetOtherName("tune (live).ogg");
  std::string alternative;
  EXPECT_EQ(item->get_AlternativeNames(&alternative), S_OK);
  EXPECT_EQ(alternative, "tune (live).ogg");

  // Progress is reported by the statistics sample of the engine's timer; one is taken here.
  ASSERT_GT(P2P::test::AnswerOneRequest(*file, content), 0);
  file->Data()->StatisticsSample();
  ASSERT_TRUE(PumpUntil([&] { return downloadEvents->Has(Key("OnFileChanged", key)); }))
      << ::testing::PrintToString(downloadEvents->lines);

  P2P::test::DownloadAll(*file, content);
  ASSERT_TRUE(PumpUntil([&] { return downloadEvents->Has(Key("OnFileRemoved", key)); }))
      << ::testing::PrintToString(downloadEvents->lines);
  std::string name;
  EXPECT_EQ(item->get_Name(&name), S_OK);
  // The held item of the completed download (now the shared file) answers as complete.
  int32_t completed = 0;
  EXPECT_EQ(item->get_CompletedSize(&completed), S_OK);
  EXPECT_EQ(completed, static_cast<int32_t>(content.size()));
  // One completion, one sequence: its change (the completed state) and then one removal, the
  // last event of the download.
  client_->Pump(std::chrono::milliseconds(200));
  const auto& lines = downloadEvents->lines;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Key("OnFileRemoved", key)), 1)
      << ::testing::PrintToString(lines);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.back(), Key("OnFileRemoved", key));
  EXPECT_EQ(lines[lines.size() - 2], Key("OnFileChanged", key));
  // Acting on either event, however late, a client reads how the download ended.
  auto records = std::dynamic_pointer_cast<IP2PDownloadRecords>(downloads);
  ASSERT_TRUE(records);
  std::vector<SDownloadRecord> ended;
  ASSERT_EQ(records->GetRecordsByKey({static_cast<uint32_t>(key), 999999}, &ended), S_OK);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].phase, static_cast<uint32_t>(EDownloadPhase::kCompleted));
  EXPECT_EQ(ended[0].completedSize, content.size());
  EXPECT_EQ(ended[0].name, "tune.ogg");
  EXPECT_EQ(std::filesystem::path(ended[0].fullPath).parent_path(),
            std::filesystem::path(module_->GetUploadFileManager().List().At(1)->GetFullPathName())
                .parent_path());

  ASSERT_TRUE(PumpUntil([&] { return sharedEvents->HasPrefix("OnFileAdded "); }))
      << ::testing::PrintToString(sharedEvents->lines);
  const auto sharedFile = module_->GetUploadFileManager().List().FindByHash(record.hash);
  ASSERT_TRUE(sharedFile);
  std::shared_ptr<IP2PSharedFile> sharedItem;
  ASSERT_EQ(shared->get_ItemByKey(static_cast<int32_t>(sharedFile->GetId()), &sharedItem), S_OK);
  std::string text;
  EXPECT_EQ(sharedItem->get_Hash(&text), S_OK);
  EXPECT_EQ(text, hash);
  int32_t size = 0;
  EXPECT_EQ(sharedItem->get_Size(&size), S_OK);
  EXPECT_EQ(size, static_cast<int32_t>(content.size()));
  for (auto getter : {&IP2PSharedFile::get_FullPathName, &IP2PSharedFile::get_Name,
                      &IP2PSharedFile::get_TypeName, &IP2PSharedFile::get_CreationTime,
                      &IP2PSharedFile::get_LastWriteTime}) {
    EXPECT_EQ(((*sharedItem).*getter)(&text), S_OK);
  }
  EXPECT_FALSE(text.empty()) << "a file on disk has a write time";
  int32_t count = 0;
  EXPECT_EQ(shared->get_Count(&count), S_OK);
  EXPECT_GE(count, 1);
  std::vector<SSharedRowData> rows;
  ASSERT_EQ(shared->GetRows(&rows), S_OK);
  ASSERT_EQ(rows.size(), static_cast<size_t>(count));
  const auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const SSharedRowData& r) { return r.hash == hash; });
  ASSERT_NE(row, rows.end());
  EXPECT_EQ(row->size, content.size());
  EXPECT_EQ(row->lastWriteTime, text) << "the bulk row says what the item says";

  // The records of the list are its items' values, in one call.
  std::vector<SSharedFileRecord> sharedRecords;
  ASSERT_EQ(std::dynamic_pointer_cast<IP2PSharedFileRecords>(shared)->GetRecords(&sharedRecords),
            S_OK);
  ASSERT_EQ(sharedRecords.size(), static_cast<size_t>(count));
  EXPECT_EQ(sharedRecords[0], ReadRecord(*sharedItem));

  const std::string renamed = "renamed.ogg";
  EXPECT_EQ(sharedItem->Rename(&renamed), S_OK);
  EXPECT_EQ(sharedItem->get_FullPathName(&text), S_OK);
  EXPECT_EQ(std::filesystem::path(text).filename(), "renamed.ogg");
  EXPECT_TRUE(std::filesystem::exists(text));
  EXPECT_EQ(shared->Add(std::nullopt), E_FAIL);
  EXPECT_EQ(shared->Remove(std::nullopt), E_FAIL);
}

// Two requests hear the one search; the result list streams its results, which download.
TEST_F(ApiBusTest, SearchEventsReachEveryRequestAndResultsDownload) {
  IndexedFile indexed;
  indexed.hash.fill(0x5A);
  indexed.name = "tarn sample movie.avi";
  indexed.size = 7000000;
  indexed.type = "Video";
  server_.AddFile(indexed);

  std::shared_ptr<IP2PSearchRequest> first, second;
  std::shared_ptr<IP2PSearchResultFileList> results;
  ASSERT_EQ(manager_->get_SearchRequest(&first), S_OK);
  ASSERT_EQ(manager_->get_SearchRequest(&second), S_OK);
  ASSERT_EQ(manager_->get_SearchResultFileList(&results), S_OK);
  auto firstEvents = std::make_shared<EventRecorder>();
  auto secondEvents = std::make_shared<EventRecorder>();
  auto resultEvents = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(first->Advise(firstEvents, &cookie), S_OK);
  ASSERT_EQ(second->Advise(secondEvents, &cookie), S_OK);
  ASSERT_EQ(results->Advise(resultEvents, &cookie), S_OK);

  ASSERT_EQ(first->put_Keyword("sample"), S_OK);
  std::string keyword;
  EXPECT_EQ(second->get_Keyword(&keyword), S_OK);
  EXPECT_EQ(keyword, "") << "a second request starts empty";
  ASSERT_TRUE(WaitUntil([&] { return module_->GetConnectionManager().IsConnected(); }));
  EXPECT_EQ(first->Search(), S_OK);
  ASSERT_TRUE(PumpUntil([&] {
    return firstEvents->Has("OnSearchStarted") && secondEvents->Has("OnSearchStarted") &&
           resultEvents->HasPrefix("OnResultAdded ");
  })) << ::testing::PrintToString(resultEvents->lines);
  EXPECT_TRUE(resultEvents->Has("OnResultsCleared"));

  int32_t count = 0;
  ASSERT_EQ(results->get_Count(&count), S_OK);
  ASSERT_GE(count, 1);
  std::shared_ptr<IP2PSearchResultFile> result;
  ASSERT_EQ(results->get_Item(1, &result), S_OK);
  int32_t key = 0;
  ASSERT_EQ(result->get_Key(&key), S_OK);
  EXPECT_TRUE(resultEvents->Has(Key("OnResultAdded", key)));
  std::string text;
  EXPECT_EQ(result->get_Name(&text), S_OK);
  EXPECT_EQ(text, "tarn sample movie.avi");
  EXPECT_EQ(result->get_Hash(&text), S_OK);
  EXPECT_EQ(text, std::string(32, 'A').replace(0, 32, "5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A"));
  int32_t number = 0;
  for (auto getter : {&IP2PSearchResultFile::get_Size, &IP2PSearchResultFile::get_Tag5Value,
                      &IP2PSearchResultFile::get_Nodes, &IP2PSearchResultFile::get_CompleteNodes,
                      &IP2PSearchResultFile::get_Bitrate}) {
    EXPECT_EQ(((*result).*getter)(&number), S_OK);
  }
  for (auto getter :
       {&IP2PSearchResultFile::get_AlternativeNames, &IP2PSearchResultFile::get_Format,
        &IP2PSearchResultFile::get_TypeName, &IP2PSearchResultFile::get_Duration,
        &IP2PSearchResultFile::get_Album, &IP2PSearchResultFile::get_Artist,
        &IP2PSearchResultFile::get_Title, &IP2PSearchResultFile::get_Codec}) {
    EXPECT_EQ(((*result).*getter)(&text), S_OK);
  }
  EXPECT_EQ(result->get_Name(nullptr), E_POINTER);

  EXPECT_EQ(results->Download(-7, std::nullopt, std::nullopt), S_FALSE);
  EXPECT_EQ(results->Download(key, std::nullopt, std::string("")), E_INVALIDARG);
  EXPECT_EQ(results->Download(key, std::nullopt, std::string("chosen.avi")), S_OK);
  EXPECT_EQ(results->Download(key, std::nullopt, std::nullopt), S_FALSE);
  std::array<uint8_t, 16> bytes;
  bytes.fill(0x5A);
  P2P::_tagUnionHash hash;
  std::copy(bytes.begin(), bytes.end(), hash.bytes.begin());
  const auto download = module_->GetDownloadFileManager().List().FindByHash(hash);
  ASSERT_TRUE(download);
  EXPECT_EQ(download->GetName(), "chosen.avi");
}

TEST_F(ApiBusTest, SearchRequestKeepsEveryParameter) {
  std::shared_ptr<IP2PSearchRequest> request;
  ASSERT_EQ(manager_->get_SearchRequest(&request), S_OK);
  const std::vector<std::pair<HRESULT (IP2PSearchRequest::*)(const std::string&),
                              HRESULT (IP2PSearchRequest::*)(std::string*)>>
      texts{{&IP2PSearchRequest::put_Keyword, &IP2PSearchRequest::get_Keyword},
            {&IP2PSearchRequest::put_FileType, &IP2PSearchRequest::get_FileType},
            {&IP2PSearchRequest::put_Extension, &IP2PSearchRequest::get_Extension},
            {&IP2PSearchRequest::put_Codec, &IP2PSearchRequest::get_Codec},
            {&IP2PSearchRequest::put_Title, &IP2PSearchRequest::get_Title},
            {&IP2PSearchRequest::put_Album, &IP2PSearchRequest::get_Album},
            {&IP2PSearchRequest::put_Artist, &IP2PSearchRequest::get_Artist}};
  int n = 0;
  for (const auto& [put, get] : texts) {
    const std::string value = "value " + std::to_string(n++);
    EXPECT_EQ(((*request).*put)(value), S_OK);
    std::string back;
    EXPECT_EQ(((*request).*get)(&back), S_OK);
    EXPECT_EQ(back, value);
  }
  const std::vector<
      std::pair<HRESULT (IP2PSearchRequest::*)(int32_t), HRESULT (IP2PSearchRequest::*)(int32_t*)>>
      numbers{{&IP2PSearchRequest::put_MinSize, &IP2PSearchRequest::get_MinSize},
              {&IP2PSearchRequest::put_MaxSize, &IP2PSearchRequest::get_MaxSize},
              {&IP2PSearchRequest::put_Availability, &IP2PSearchRequest::get_Availability},
              {&IP2PSearchRequest::put_MinBitrate, &IP2PSearchRequest::get_MinBitrate},
              {&IP2PSearchRequest::put_MinLength, &IP2PSearchRequest::get_MinLength}};
  for (const auto& [put, get] : numbers) {
    EXPECT_EQ(((*request).*put)(1000 + n), S_OK);
    int32_t back = 0;
    EXPECT_EQ(((*request).*get)(&back), S_OK);
    EXPECT_EQ(back, 1000 + n++);
  }
  EXPECT_EQ(request->put_CompleteSources(3), S_OK);
  int16_t sources = 0;
  EXPECT_EQ(request->get_CompleteSources(&sources), S_OK);
  EXPECT_EQ(sources, 3);
  EXPECT_EQ(request->get_MinSize(nullptr), E_POINTER);
  // Nothing starts without a keyword, with one the parser refuses or with an unknown type,
  // and the request says why.
  std::shared_ptr<IP2PSearchRequest> empty;
  ASSERT_EQ(manager_->get_SearchRequest(&empty), S_OK);
  std::string reason;
  EXPECT_EQ(empty->Search(), E_INVALIDARG);
  EXPECT_EQ(empty->get_LastError(&reason), S_OK);
  EXPECT_EQ(reason, "no keyword to search for");
  for (const char* keyword : {"(ux", "ux AND", ")"}) {
    EXPECT_EQ(empty->put_Keyword(keyword), S_OK);
    EXPECT_EQ(empty->Search(), E_INVALIDARG) << keyword;
    EXPECT_EQ(empty->get_LastError(&reason), S_OK);
    EXPECT_FALSE(reason.empty()) << keyword;
  }
  EXPECT_EQ(empty->put_Keyword("ux"), S_OK);
  EXPECT_EQ(empty->put_FileType("Music"), S_OK);
  EXPECT_EQ(empty->Search(), E_INVALIDARG);
  EXPECT_EQ(empty->get_LastError(&reason), S_OK);
  EXPECT_NE(reason.find("unknown file type \"Music\""), std::string::npos) << reason;
  EXPECT_EQ(empty->put_FileType("audio"), S_OK);
  EXPECT_EQ(empty->Search(), S_OK);
  EXPECT_EQ(empty->get_LastError(&reason), S_OK);
  EXPECT_EQ(reason, "") << "a search that started leaves no reason behind";
}

// A client killed while holding objects and advised sinks costs the service nothing: its
// objects go, the server lock it held is given back, and other clients carry on.
TEST_F(ApiBusTest, KilledClientsObjectsAreReleased) {
  std::shared_ptr<IP2PServerList> mine;
  ASSERT_EQ(manager_->get_ServerList(&mine), S_OK);
  const size_t before = bus_->ObjectCount();
  const int locksBefore = lock_.count.load();

  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  char self[] = "/proc/self/exe";
  char hold[] = "--hold-objects";
  char* argv[] = {self, hold, nullptr};
  pid_t pid = -1;
  ASSERT_EQ(::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  pollfd ready{fds[0], POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 10000), 1);
  char buffer[16] = {};
  EXPECT_GT(::read(fds[0], buffer, sizeof buffer - 1), 0);
  EXPECT_EQ(std::string(buffer).substr(0, 5), "ready");
  EXPECT_EQ(bus_->ObjectCount(), before + 3);
  EXPECT_EQ(lock_.count.load(), locksBefore + 1);

  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(fds[0]);
  EXPECT_TRUE(WaitUntil([&] { return bus_->ObjectCount() == before; }));
  EXPECT_TRUE(WaitUntil([&] { return lock_.count.load() == locksBefore; }));

  int32_t count = -1;
  EXPECT_EQ(mine->get_Count(&count), S_OK);
  EXPECT_GE(count, 0);
  // The engine still fires its events at the remaining client.
  auto events = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(mine->Advise(events, &cookie), S_OK);
  const auto* added = module_->GetServerManager().AddAddress(0x0600007F, 4243);
  ASSERT_NE(added, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return events->Has("OnServerAdded " + std::to_string(added->id)); }));
}

// A client that obtains objects without releasing them meets its cap and is told so; the
// service and other clients are unaffected, and releasing makes room again.
TEST_F(ApiBusTest, ObjectsPerClientAreCapped) {
  bus_.reset();  // gives up the name
  bus_ = std::make_unique<CApiBus>(sdbus::createSessionBusConnection(), &lock_, 4);
  ASSERT_TRUE(bus_->Start(AccessTo(*module_), CApiClient::kDefaultDestination));
  std::vector<std::shared_ptr<IP2PConfig>> held(4);
  for (auto& config : held) ASSERT_EQ(manager_->get_Config(&config), S_OK);
  std::shared_ptr<IP2PConfig> extra;
  EXPECT_EQ(manager_->get_Config(&extra), E_OUTOFMEMORY);
  EXPECT_EQ(extra, nullptr);

  CApiClient other(sdbus::createSessionBusConnection());
  std::shared_ptr<IP2PConfig> theirs;
  EXPECT_EQ(other.ServiceManager()->get_Config(&theirs), S_OK);

  held.pop_back();
  EXPECT_EQ(manager_->get_Config(&extra), S_OK);
  std::string name;
  EXPECT_EQ(extra->get_UserName(&name), S_OK);
}

TEST_F(ApiBusTest, ReleasedObjectsLeaveTheBusAndOnlyTheirOwnerReleases) {
  const size_t before = bus_->ObjectCount();
  {
    std::shared_ptr<IP2PDownloadFileList> list;
    ASSERT_EQ(manager_->get_DownloadFileList(&list), S_OK);
    EXPECT_EQ(bus_->ObjectCount(), before + 1);
  }
  EXPECT_EQ(bus_->ObjectCount(), before);
  EXPECT_EQ(bus_->Release(12345, client_->UniqueName()), E_FAIL);
}

// Four clients at once, each on its own connection and thread, while a download progresses
// and the server list changes: every call answers, and nothing locks up.
TEST_F(ApiBusTest, FourClientsCallAtOnceWhileTheEngineWorks) {
  const auto content = PseudoRandomBytes(2000000, 9);
  const auto record = P2P::test::RecordFor(content, "busy.bin");
  auto file = module_->GetDownloadFileManager().AddDownload(record);
  ASSERT_TRUE(file);
  std::atomic<int> failures{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      CApiClient client(sdbus::createSessionBusConnection());
      auto manager = client.ServiceManager();
      std::shared_ptr<IP2PDownloadFileList> downloads;
      std::shared_ptr<IP2PServerList> servers;
      if (manager->get_DownloadFileList(&downloads) != S_OK) ++failures;
      if (manager->get_ServerList(&servers) != S_OK) ++failures;
      auto events = std::make_shared<EventRecorder>();
      uint32_t cookie = 0;
      if (downloads->Advise(events, &cookie) != S_OK) ++failures;
      for (int i = 0; i < 50 && !done.load(); ++i) {
        int32_t count = 0;
        std::shared_ptr<IP2PDownloadFile> item;
        if (downloads->get_Count(&count) != S_OK) ++failures;
        if (downloads->get_Item(1, &item) == S_OK) {
          int32_t received = 0;
          if (item->get_CompletedSize(&received) != S_OK) ++failures;
        }
        if (servers->get_Count(&count) != S_OK) ++failures;
        client.Pump(std::chrono::milliseconds(1));
      }
    });
  }
  for (int i = 0; i < 20; ++i) {
    P2P::test::AnswerOneRequest(*file, content);
    module_->GetServerManager().AddAddress(0x0700007F + (static_cast<uint32_t>(i) << 8), 4300);
  }
  for (auto& client : clients) client.join();
  done.store(true);
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace tarn::test
