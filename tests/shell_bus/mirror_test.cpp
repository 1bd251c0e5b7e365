#include <gtest/gtest.h>

#include <random>

#include "engine/download/DownloadFileManager.h"
#include "engine/upload/UploadFileManager.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/shell_bus/MirrorFixture.h"

namespace tarn::test {
namespace {

using shell::EMirrorChange;

// A download the test started, with the content that completes it.
struct Started {
  std::vector<uint8_t> content;
  std::string hash;
  uint32_t key = 0;
};

// Random adds, pauses, stops, resumes, renames, cancellations and completions of downloads,
// and renames of the shared files completions make, all through the API (completions by
// handing the engine the data): afterwards each mirror, and the copy its listener rebuilt from
// the changes alone, equal the daemon's list item by item. Then again after the daemon's API
// went away and came back.
TEST_F(MirrorTest, MirrorsEqualTheDaemonsListsThroughRandomChangesAndARestart) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  constexpr int kOperations = 200;  // the same paths, in the time the sanitizers allow
#else
  constexpr int kOperations = 1000;
#endif
  shell::CTARNDownloadFileList downloads(SessionBusClient());
  shell::CTARNSharedFileList shared(SessionBusClient());
  auto downloadReplay =
      std::make_shared<CReplayListener<SDownloadRecord>>([&] { return downloads.Snapshot(); });
  auto sharedReplay =
      std::make_shared<CReplayListener<SSharedFileRecord>>([&] { return shared.Snapshot(); });
  downloads.AddListener(downloadReplay);
  shared.AddListener(sharedReplay);
  downloads.Start();
  shared.Start();
  ASSERT_TRUE(downloads.Online() && shared.Online());

  std::shared_ptr<IP2PDownloadFileList> downloadList;
  std::shared_ptr<IP2PSharedFileList> sharedList;
  auto attach = [&] {
    ASSERT_EQ(manager_->get_DownloadFileList(&downloadList), S_OK);
    ASSERT_EQ(manager_->get_SharedFileList(&sharedList), S_OK);
  };
  attach();
  std::mt19937 random(22);
  std::vector<Started> running;
  int completions = 0, cancellations = 0;
  auto pick = [&] { return random() % running.size(); };
  auto item = [&](uint32_t key) {
    std::shared_ptr<IP2PDownloadFile> file;
    downloadList->get_ItemByKey(static_cast<int32_t>(key), &file);
    return file;
  };
  for (int op = 0; op < kOperations; ++op) {
    const int roll = static_cast<int>(random() % 100);
    if (running.size() < 3 || roll < 30) {
      Started started;
      started.content = PseudoRandomBytes(1000 + random() % 4000, static_cast<uint32_t>(op));
      const auto record = P2P::test::RecordFor(started.content, "file " + std::to_string(op));
      started.hash = record.hash.ToHex();
      ASSERT_EQ(manager_->AddDownload(&started.hash, static_cast<int32_t>(started.content.size()),
                                      std::nullopt, record.info.name),
                S_OK);
      started.key = module_->GetDownloadFileManager().List().FindByHash(record.hash)->GetId();
      running.push_back(std::move(started));
    } else if (roll < 70) {
      const uint32_t key = running[pick()].key;
      const auto file = item(key);
      ASSERT_TRUE(file);
      const std::string name = "renamed " + std::to_string(op) + ".bin";
      switch (roll % 5) {
        case 0:
          file->Pause();
          break;
        case 1:
          file->Stop();
          break;
        case 2:
          file->Resume();
          break;
        case 3:
          file->Rename(&name);
          break;
        default:
          // As the web page renames: through the mirror, which waits for the daemon's answer.
          ASSERT_EQ(downloads.Rename(key, name), S_OK);
          break;
      }
    } else if (roll < 80) {
      const size_t at = pick();
      ASSERT_EQ(item(running[at].key)->Cancel(), S_OK);
      running.erase(running.begin() + static_cast<ptrdiff_t>(at));
      ++cancellations;
    } else if (roll < 92) {
      const size_t at = pick();
      const auto file = module_->GetDownloadFileManager().List().FindById(running[at].key);
      ASSERT_TRUE(file);
      file->Data()->Resume();
      P2P::test::DownloadAll(*file, running[at].content);
      running.erase(running.begin() + static_cast<ptrdiff_t>(at));
      ++completions;
    } else {
      int32_t count = 0;
      sharedList->get_Count(&count);
      if (count == 0) continue;
      std::shared_ptr<IP2PSharedFile> file;
      ASSERT_EQ(sharedList->get_Item(1 + static_cast<int32_t>(random() % count), &file), S_OK);
      const std::string name = "shared " + std::to_string(op) + ".bin";
      if (op % 2 == 0) {
        file->Rename(&name);
      } else {
        int32_t key = 0;
        file->get_Key(&key);
        shared.Rename(static_cast<uint32_t>(key), name);
      }
    }
  }
  ASSERT_GT(completions, 0);
  ASSERT_GT(cancellations, 0);

  auto settled = [&] {
    const auto daemonDownloads = DaemonRecords<std::vector<SDownloadRecord>>(*downloadList);
    const auto daemonShared = DaemonRecords<std::vector<SSharedFileRecord>>(*sharedList);
    return downloads.Snapshot() == daemonDownloads &&
           downloadReplay->Records() == daemonDownloads && shared.Snapshot() == daemonShared &&
           sharedReplay->Records() == daemonShared &&
           daemonShared.size() >= static_cast<size_t>(completions);
  };
  ASSERT_TRUE(WaitUntil(settled, std::chrono::seconds(20)))
      << "downloads: "
      << FirstDifference(downloads.Snapshot(),
                         DaemonRecords<std::vector<SDownloadRecord>>(*downloadList))
      << "; replayed: "
      << FirstDifference(downloadReplay->Records(),
                         DaemonRecords<std::vector<SDownloadRecord>>(*downloadList))
      << "; shared: "
      << FirstDifference(shared.Snapshot(),
                         DaemonRecords<std::vector<SSharedFileRecord>>(*sharedList));
  EXPECT_EQ(downloadReplay->Removed().size(), static_cast<size_t>(completions + cancellations));
  if (const auto key = running.front().key; downloads.Find(key)) {
    EXPECT_EQ(downloads.Find(key)->key, key);
  }

  // The daemon leaves the bus: the mirrors say so and empty; it comes back: they read again.
  downloadList.reset();
  sharedList.reset();
  RestartApi();
  ASSERT_TRUE(WaitUntil([&] { return downloadReplay->Count(EMirrorChange::kDisconnected) == 1; }));
  attach();
  ASSERT_TRUE(WaitUntil(settled, std::chrono::seconds(20)));
  EXPECT_TRUE(downloads.Online());
  EXPECT_EQ(downloadReplay->Count(EMirrorChange::kReloaded), 2);
  EXPECT_EQ(sharedReplay->Count(EMirrorChange::kReloaded), 2);
  downloads.Stop();
  shared.Stop();
}

// A new search empties the results mirror at once; the results that follow fill it.
TEST_F(MirrorTest, SearchResultMirrorFollowsEachNewSearch) {
  IndexVideo("tarn mirrored movie.avi");
  shell::CTARNSearchResultFileList results(SessionBusClient());
  auto replay =
      std::make_shared<CReplayListener<SSearchResultRecord>>([&] { return results.Snapshot(); });
  results.AddListener(replay);
  results.Start();
  std::shared_ptr<IP2PSearchRequest> request;
  std::shared_ptr<IP2PSearchResultFileList> list;
  ASSERT_EQ(manager_->get_SearchRequest(&request), S_OK);
  ASSERT_EQ(manager_->get_SearchResultFileList(&list), S_OK);
  ASSERT_TRUE(WaitUntil([&] { return module_->GetConnectionManager().IsConnected(); }));

  for (int search = 1; search <= 2; ++search) {
    ASSERT_EQ(request->put_Keyword("mirrored"), S_OK);
    ASSERT_EQ(request->Search(), S_OK);
    ASSERT_TRUE(WaitUntil([&] {
      const auto daemon = DaemonRecords<std::vector<SSearchResultRecord>>(*list);
      return replay->Count(EMirrorChange::kCleared) == search && !daemon.empty() &&
             results.Snapshot() == daemon && replay->Records() == daemon;
    })) << results.Count()
        << " results mirrored";
  }
  EXPECT_EQ(results.Snapshot().front().name, "tarn mirrored movie.avi");
}

}  // namespace
}  // namespace tarn::test
