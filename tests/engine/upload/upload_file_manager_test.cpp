#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "engine/hashing/AICHStore.h"
#include "engine/hashing/PartHashFile.h"
#include "engine/library/AICHDatStore.h"
#include "engine/library/SharedDatFile.h"
#include "engine/transfer/HashSetAnswer.h"
#include "engine/transfer/TransferFileList.h"
#include "engine/upload/UploadFileManager.h"
#include "platform/FileSystem.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/FileSizes.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

namespace fs = std::filesystem;
using Shared::File::TransferFile::CTransferFilePtr;
using tarn::test::WaitUntil;

class CEventRecorder : public ITARNNetP2PSharedFileEventHandler {
 public:
  void OnSharedFileAdded(const Shared::_tagStructSharedFile& file) override { Note(added_, file); }
  void OnSharedFileChanged(const Shared::_tagStructSharedFile& file) override {
    Note(changed_, file);
  }
  void OnSharedFileRemoved(const Shared::_tagStructSharedFile& file) override {
    Note(removed_, file);
  }
  int Added() const { return Count(added_); }
  int Changed() const { return Count(changed_); }
  int Removed() const { return Count(removed_); }

 private:
  void Note(int& counter, const Shared::_tagStructSharedFile&) {
    std::lock_guard guard(lock_);
    ++counter;
  }
  int Count(const int& counter) const {
    std::lock_guard guard(lock_);
    return counter;
  }
  mutable std::mutex lock_;
  int added_ = 0, changed_ = 0, removed_ = 0;
};

// Forwards to the file system in use and counts, per path, the stats and the opens for reading.
class CountingFileSystem final : public OSTREL::File::IFileSystem {
 public:
  std::unique_ptr<OSTREL::File::IFile> Open(const fs::path& path,
                                            OSTREL::File::EOpenMode mode) override {
    if (mode == OSTREL::File::EOpenMode::kRead) Note(reads_, path);
    return inner_.Open(path, mode);
  }
  bool Rename(const fs::path& from, const fs::path& to) override { return inner_.Rename(from, to); }
  bool RenameNoReplace(const fs::path& from, const fs::path& to) override {
    return inner_.RenameNoReplace(from, to);
  }
  bool Remove(const fs::path& path) override { return inner_.Remove(path); }
  std::optional<OSTREL::File::SFileStat> Stat(const fs::path& path) override {
    Note(stats_, path);
    return inner_.Stat(path);
  }
  std::optional<uint64_t> FreeSpace(const fs::path& folder) override {
    return inner_.FreeSpace(folder);
  }
  bool SyncFolder(const fs::path& folder) override { return inner_.SyncFolder(folder); }
  bool CreateFolders(const fs::path& folder) override { return inner_.CreateFolders(folder); }

  std::map<std::string, int> Stats() const {
    std::lock_guard guard(lock_);
    return stats_;
  }
  std::map<std::string, int> Reads() const {
    std::lock_guard guard(lock_);
    return reads_;
  }

 private:
  void Note(std::map<std::string, int>& counts, const fs::path& path) {
    std::lock_guard guard(lock_);
    ++counts[path.filename().string()];
  }

  OSTREL::File::IFileSystem& inner_ = OSTREL::File::FileSystem();
  mutable std::mutex lock_;
  std::map<std::string, int> stats_;
  std::map<std::string, int> reads_;
};

class UploadFileManagerTest : public ::testing::Test {
 protected:
  UploadFileManagerTest() {
    fs::create_directories(config_);
    fs::create_directories(shared_);
    manager_.Advise(&events_);
  }
  ~UploadFileManagerTest() override { manager_.Stop(); }

  void Start() { ASSERT_TRUE(manager_.Start(config_, shared_, 0)); }
  // Shares and hashes a file of two parts, keeps the hash-set answer it gives, and stops.
  void ShareTwoPartFileThenStop(std::vector<uint8_t>& answer) {
    std::string contents(9728001, 'x');
    contents[9728000] = 'y';
    sandbox_.WriteFile("shared/two-parts.bin", contents);
    Start();
    ASSERT_TRUE(WaitForScan());
    answer = Shared::File::TransferFile::BuildHashSetAnswer(*Listed("two-parts.bin"));
    ASSERT_FALSE(answer.empty());
    manager_.Stop();
  }
  bool WaitForScan() {
    return WaitUntil([&] { return manager_.List().HasScanned(); });
  }
  std::set<std::string> SharedPaths() {
    std::set<std::string> paths;
    for (const auto& file : manager_.List().Snapshot())
      paths.insert(fs::path(file->GetFullPathName()).lexically_relative(shared_).string());
    return paths;
  }
  bool WaitForPaths(const std::set<std::string>& expected) {
    return WaitUntil([&] { return SharedPaths() == expected; });
  }
  Shared::File::TransferFile::CTransferFilePtr Listed(const std::string& relative) {
    for (const auto& file : manager_.List().Snapshot())
      if (file->GetFullPathName() == (shared_ / relative).string()) return file;
    return {};
  }
  size_t Count(const fs::path& path, const std::string& element) {
    const std::string text = sandbox_.ReadFile(path.lexically_relative(sandbox_.Root()));
    size_t count = 0;
    for (size_t at = text.find("<" + element + ">"); at != std::string::npos;
         at = text.find("<" + element + ">", at + 1))
      ++count;
    return count;
  }

  tarn::test::Sandbox sandbox_;
  fs::path config_ = sandbox_ / "config";
  fs::path shared_ = sandbox_ / "shared";
  CEventRecorder events_;
  CTARNNetUploadFileManager manager_;
};

TEST_F(UploadFileManagerTest, ScansTheTreeFollowingLinksAndSkippingThumbnailCaches) {
  sandbox_.WriteFile("shared/a.txt", "alpha");
  sandbox_.WriteFile("shared/sub/b.txt", "bravo");
  sandbox_.WriteFile("shared/sub/Thumbs.DB", "thumbs 1");
  sandbox_.WriteFile("shared/thumbs.db", "thumbs 2");
  sandbox_.WriteFile("shared/empty", "");
  // Above 256 GiB (sparse here): no client takes it, so it is neither hashed nor listed.
  sandbox_.WriteFile("shared/huge.bin", "x");
  fs::resize_file(shared_ / "huge.bin", tarn::test::kAboveLargestFile);
  sandbox_.WriteFile("outside/folder/c.txt", "charlie");
  sandbox_.WriteFile("outside/d.txt", "delta");
  fs::create_directory_symlink(sandbox_ / "outside/folder", shared_ / "linked");
  fs::create_symlink(sandbox_ / "outside/d.txt", shared_ / "d-link");
  fs::create_symlink(sandbox_ / "outside/missing", shared_ / "broken");
  fs::create_directory_symlink(shared_, shared_ / "sub/cycle");
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_EQ(SharedPaths(), (std::set<std::string>{"a.txt", "sub/b.txt", "linked/c.txt", "d-link"}));
  EXPECT_EQ(events_.Added(), 4);
  const auto link = Listed("d-link");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->GetName(), "d-link");
  EXPECT_EQ(link->GetSize(), 5u);
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(link->Data()->ReadRange(1, 4, bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "elt");
  EXPECT_FALSE(link->Data()->ReadRange(3, 6, bytes));  // past the end
  auto* transferFiles = Shared::File::TransferFile::CTARNNetTransferFileList::GetInstance();
  EXPECT_TRUE(transferFiles->FindByHash(link->GetHash()));
  manager_.Stop();
  EXPECT_FALSE(transferFiles->FindByHash(link->GetHash()));
}

TEST_F(UploadFileManagerTest, AnUnchangedFileIsNotHashedAgainAtTheNextStart) {
  sandbox_.WriteFile("shared/a.txt", "alpha");
  sandbox_.WriteFile("shared/b.txt", "bravo");
  Start();
  ASSERT_TRUE(WaitForScan());
  ASSERT_EQ(SharedPaths().size(), 2u);
  const _tagUnionHash hash = Listed("a.txt")->GetHash();
  manager_.Stop();

  const fs::path sharedDat = config_ / "Shared.dat";
  EXPECT_EQ(Count(sharedDat, "SharedFile"), 2u);
  EXPECT_EQ(Count(config_ / "AICH.dat", "File"), 2u);
  const std::string text = sandbox_.ReadFile("config/Shared.dat");
  EXPECT_EQ(
      text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<SharedFileList>\n\t<SharedFile>"
                 "\n\t\t<Hash>",
                 0),
      0u);
  EXPECT_NE(text.find("</SharedFile>\n</SharedFileList>"), std::string::npos);

  // Hashing would store the trees again.
  fs::remove(config_ / "AICH.dat");
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_EQ(SharedPaths().size(), 2u);
  EXPECT_EQ(Listed("a.txt")->GetHash(), hash);
  EXPECT_FALSE(fs::exists(config_ / "AICH.dat"));
}

// Peers download nothing of a multi-part file without its hash set, so one restored from
// Shared.dat (which keeps no part hashes) must answer the same set as when it was hashed.
TEST_F(UploadFileManagerTest, AMultiPartFileRestoredAtRestartAnswersItsHashSet) {
  std::vector<uint8_t> fresh;
  ASSERT_NO_FATAL_FAILURE(ShareTwoPartFileThenStop(fresh));

  Start();
  const auto restored = Listed("two-parts.bin");
  ASSERT_TRUE(restored);
  EXPECT_TRUE(WaitUntil(
      [&] { return Shared::File::TransferFile::BuildHashSetAnswer(*restored) == fresh; }));
}

// PartHashes.dat spares the restart the read of a multi-part file; when it is damaged the file
// is read again, its hash set is still right, and the side file is written whole again.
TEST_F(UploadFileManagerTest, PartHashesAreKeptBesideSharedDatAndADamagedCopyIsRederived) {
  std::vector<uint8_t> fresh;
  ASSERT_NO_FATAL_FAILURE(ShareTwoPartFileThenStop(fresh));
  const fs::path side = config_ / HASH::kPartHashFileName;
  ASSERT_EQ(HASH::LoadPartHashFile(side).size(), 1u);

  const auto restartAndCountReads = [&] {
    CountingFileSystem counting;
    tarn::test::ScopedFileSystem installed(counting);
    Start();
    const auto restored = Listed("two-parts.bin");
    EXPECT_TRUE(restored);
    EXPECT_TRUE(WaitUntil([&] {
      return restored && Shared::File::TransferFile::BuildHashSetAnswer(*restored) == fresh;
    }));
    manager_.Stop();
    const auto reads = counting.Reads();
    return reads.count("two-parts.bin") ? reads.at("two-parts.bin") : 0;
  };
  EXPECT_EQ(restartAndCountReads(), 0);

  // One part hash changed: it no longer derives the file hash.
  std::string damaged = sandbox_.ReadFile("config/" + std::string(HASH::kPartHashFileName));
  damaged[damaged.size() - 1] ^= 0x40;
  sandbox_.WriteFile("config/" + std::string(HASH::kPartHashFileName), damaged);
  EXPECT_GT(restartAndCountReads(), 0);
  ASSERT_EQ(HASH::LoadPartHashFile(side).size(), 1u);
  EXPECT_EQ(restartAndCountReads(), 0);

  sandbox_.WriteFile("config/" + std::string(HASH::kPartHashFileName), "TPH1\xff\xff\xff\xff");
  EXPECT_GT(restartAndCountReads(), 0);
}

// A restart over an unchanged library looks at each file once and reads none of them.
TEST_F(UploadFileManagerTest, AnUnchangedLibraryCostsOneStatPerFileAndNoReads) {
  for (const char* name : {"a.txt", "b.txt", "sub/c.txt"})
    sandbox_.WriteFile(fs::path("shared") / name, name);
  Start();
  ASSERT_TRUE(WaitForScan());
  manager_.Stop();

  CountingFileSystem counting;
  tarn::test::ScopedFileSystem installed(counting);
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_EQ(SharedPaths(), (std::set<std::string>{"a.txt", "b.txt", "sub/c.txt"}));
  const std::map<std::string, int> stats = counting.Stats();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_EQ(stats.count(name) ? stats.at(name) : 0, 1) << name;
    EXPECT_EQ(counting.Reads().count(name), 0u) << name;
  }
  manager_.Stop();
}

TEST_F(UploadFileManagerTest, BrokenOrForeignSharedDatLeavesTheListToTheScan) {
  sandbox_.WriteFile("shared/a.txt", "alpha");
  sandbox_.WriteFile("outside.txt", "outside");
  Shared::_tagStructSharedFile outside;
  outside.hash.bytes.fill(1);
  outside.info.name = "outside.txt";
  outside.info.fullPathName = (sandbox_ / "outside.txt").string();
  Shared::_tagStructSharedFile gone = outside;
  gone.hash.bytes.fill(2);
  gone.info.fullPathName = (shared_ / "gone.txt").string();
  Shared::_tagStructSharedFile escaping = outside;
  escaping.hash.bytes.fill(3);
  escaping.info.fullPathName = (shared_ / "../outside.txt").string();
  const std::vector<Shared::_tagStructSharedFile> entries{outside, gone, escaping};
  const std::string full = Shared::File::WriteSharedDatText(entries);
  EXPECT_EQ(Shared::File::ReadSharedDatText(full).size(), 3u);
  EXPECT_TRUE(Shared::File::ReadSharedDatText(full.substr(0, full.size() / 2)).empty());
  EXPECT_TRUE(Shared::File::ReadSharedDatText("<ServerList><SharedFile/></ServerList>").empty());

  // Entries outside the shared folder or for missing files are not offered.
  sandbox_.WriteFile("config/Shared.dat", full);
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_EQ(SharedPaths(), std::set<std::string>{"a.txt"});
  manager_.Stop();

  sandbox_.WriteFile("config/Shared.dat", full.substr(0, 100));
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_EQ(SharedPaths(), std::set<std::string>{"a.txt"});
  manager_.Stop();
  EXPECT_EQ(Count(config_ / "Shared.dat", "SharedFile"), 1u);
}

// A download that completes into the shared folder may be met by the folder monitor first:
// the file is listed once, under the key the monitor gave it.
TEST_F(UploadFileManagerTest, ACompletedDownloadTheMonitorMetFirstIsListedOnce) {
  Start();
  ASSERT_TRUE(WaitForScan());
  sandbox_.WriteFile("shared/fast.bin", "a download that completed");
  ASSERT_TRUE(WaitForPaths({"fast.bin"}));
  const auto scanned = Listed("fast.bin");
  Shared::_tagStructSharedFile record = scanned->GetRecord();
  record.id = 0;
  CTransferFilePtr completed(new Shared::File::TransferFile::CTARNNetTransferFile(record));
  EXPECT_FALSE(manager_.AddSharedFile(completed));
  EXPECT_EQ(manager_.List().Count(), 1u);
  EXPECT_EQ(manager_.List().FindByHash(record.hash), scanned);
  EXPECT_EQ(events_.Added(), 1);
}

// A download may complete into a download folder outside the shared folder: it is shared
// there, and stays so across restarts while its file is there unchanged; once the file has
// gone or changed, it is not offered any more.
TEST_F(UploadFileManagerTest, FilesCompletedOutsideTheSharedFolderStaySharedWhileTheyLast) {
  const fs::path music = sandbox_ / "music";
  manager_.SetDownloadFolders({music});
  Start();
  ASSERT_TRUE(WaitForScan());
  sandbox_.WriteFile("music/song.ogg", "a song downloaded into the music folder");
  const auto attributes = Shared::File::ReadFileAttributes(music / "song.ogg");
  ASSERT_TRUE(attributes);
  Shared::_tagStructSharedFile record;
  record.hash.bytes.fill(7);
  record.info.name = "song.ogg";
  record.info.fullPathName = (music / "song.ogg").string();
  record.info.size = static_cast<uint32_t>(attributes->size);
  record.info.creationTime = attributes->creationTime;
  record.info.lastWriteTime = attributes->lastWriteTime;
  ASSERT_TRUE(manager_.AddSharedFile(
      CTransferFilePtr(new Shared::File::TransferFile::CTARNNetTransferFile(record))));
  const auto listedAt = [&](const fs::path& path) {
    return static_cast<bool>(manager_.List().FindByPath(path.string()));
  };
  EXPECT_TRUE(listedAt(music / "song.ogg"));
  manager_.Stop();

  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_TRUE(listedAt(music / "song.ogg")) << "still there, still shared";
  manager_.Stop();

  sandbox_.WriteFile("music/song.ogg", "the same name with other contents");
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_FALSE(listedAt(music / "song.ogg")) << "changed outside the monitor's sight";
  manager_.Stop();

  // Without the folder among the download folders nothing of it is offered.
  manager_.SetDownloadFolders({});
  const std::vector<Shared::_tagStructSharedFile> entries{record};
  sandbox_.WriteFile("config/Shared.dat", Shared::File::WriteSharedDatText(entries));
  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_FALSE(listedAt(music / "song.ogg"));
}

TEST_F(UploadFileManagerTest, NoticesFilesAddedRenamedTouchedAndDeletedWhileRunning) {
  sandbox_.WriteFile("shared/a.txt", "alpha");
  Start();
  ASSERT_TRUE(WaitForPaths({"a.txt"}));

  sandbox_.WriteFile("shared/new/b.txt", "bravo");
  ASSERT_TRUE(WaitForPaths({"a.txt", "new/b.txt"}));

  fs::rename(shared_ / "new/b.txt", shared_ / "new/c.txt");
  ASSERT_TRUE(WaitForPaths({"a.txt", "new/c.txt"}));

  const auto a = Listed("a.txt");
  const int64_t before = a->GetLastWriteTime();
  fs::last_write_time(shared_ / "a.txt",
                      fs::last_write_time(shared_ / "a.txt") + std::chrono::hours(1));
  ASSERT_TRUE(WaitUntil([&] { return a->GetLastWriteTime() == before + 36000000000; }));
  EXPECT_EQ(Listed("a.txt"), a);

  // New contents under the same name replace the old entry.
  const _tagUnionHash oldHash = a->GetHash();
  sandbox_.WriteFile("shared/a.txt", "alpha, rewritten");
  ASSERT_TRUE(WaitUntil([&] { return Listed("a.txt") && Listed("a.txt")->GetHash() != oldHash; }));
  EXPECT_EQ(SharedPaths().size(), 2u);

  const int removedBefore = events_.Removed();
  fs::remove(shared_ / "a.txt");
  ASSERT_TRUE(WaitForPaths({"new/c.txt"}));
  EXPECT_GT(events_.Removed(), removedBefore);
}

TEST_F(UploadFileManagerTest, MovingASharedFileNeverReplacesAnotherFile) {
  sandbox_.WriteFile("shared/a.txt", "alpha");
  sandbox_.WriteFile("shared/taken.txt", "taken");
  Start();
  ASSERT_TRUE(WaitForPaths({"a.txt", "taken.txt"}));
  const auto a = Listed("a.txt");
  ASSERT_TRUE(a);
  EXPECT_FALSE(a->Data()->SetPath((shared_ / "taken.txt").string()));
  EXPECT_EQ(sandbox_.ReadFile("shared/taken.txt"), "taken");
  EXPECT_EQ(a->GetFullPathName(), (shared_ / "a.txt").string());
  ASSERT_TRUE(a->Data()->SetPath((shared_ / "moved.txt").string()));
  ASSERT_TRUE(WaitForPaths({"moved.txt", "taken.txt"}));
  EXPECT_EQ(Listed("moved.txt"), a);
}

// Hashed files whose data files were written in a batch; a kill -9 in the middle of the next
// batch leaves both files whole, every file of Shared.dat with its tree in AICH.dat, and the
// next start hashes only the files the lost batch held.
TEST_F(UploadFileManagerTest, AKilledBatchLeavesConsistentDataFilesAndLosesOnlyItself) {
  constexpr int kFiles = 1500;
  for (int i = 0; i < kFiles; ++i)
    sandbox_.WriteFile("shared/f" + std::to_string(i / 100) + "/" + std::to_string(i),
                       "file number " + std::to_string(i));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CTARNNetUploadFileManager hashing;
    // Paused hashing keeps the batch running well past the first save.
    hashing.Start(config_, shared_, 3);
    for (;;) pause();
  }
  const fs::path sharedDat = config_ / "Shared.dat";
  const bool firstBatch =
      WaitUntil([&] { return fs::exists(sharedDat); }, std::chrono::seconds(30));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_TRUE(firstBatch);

  const auto listed = Shared::File::ReadSharedDatText(sandbox_.ReadFile("config/Shared.dat"));
  std::vector<Shared::File::_tagStructAICHDatEntry> trees;
  ASSERT_TRUE(Shared::File::ReadAICHDatText(sandbox_.ReadFile("config/AICH.dat"), trees));
  ASSERT_GT(listed.size(), 0u);
  ASSERT_LT(listed.size(), static_cast<size_t>(kFiles)) << "the kill came too late";
  std::set<_tagUnionHash> stored;
  for (const auto& tree : trees) stored.insert(tree.fileHash);
  for (const auto& file : listed) EXPECT_EQ(stored.count(file.hash), 1u) << file.info.name;

  Start();
  ASSERT_TRUE(WaitForScan());
  EXPECT_EQ(manager_.List().Count(), static_cast<size_t>(kFiles));
  EXPECT_EQ(manager_.GetProgress().filesHashed, kFiles - listed.size());
}

// A renamed folder keeps its files' names, sizes and times: they are followed, not rehashed.
TEST_F(UploadFileManagerTest, ARenamedFolderIsFollowedWithoutHashingItsFilesAgain) {
  constexpr int kFiles = 1000;
  for (int i = 0; i < kFiles; ++i)
    sandbox_.WriteFile("shared/old/" + std::to_string(i) + ".txt", "file " + std::to_string(i));
  sandbox_.WriteFile("shared/other.txt", "other");
  Start();
  ASSERT_TRUE(
      WaitUntil([&] { return manager_.List().Count() == kFiles + 1; }, std::chrono::seconds(30)));
  ASSERT_TRUE(WaitForScan());
  const auto before = Listed("old/7.txt");
  ASSERT_TRUE(before);
  EXPECT_EQ(manager_.GetProgress().filesHashed, static_cast<uint32_t>(kFiles + 1));

  fs::rename(shared_ / "old", shared_ / "new");
  ASSERT_TRUE(WaitUntil([&] { return Listed("new/999.txt") && !Listed("old/0.txt"); },
                        std::chrono::seconds(30)));
  ASSERT_TRUE(
      WaitUntil([&] { return manager_.List().FindByPath((shared_ / "new/0.txt").string()); }));
  EXPECT_EQ(manager_.List().Count(), static_cast<size_t>(kFiles + 1));
  EXPECT_EQ(Listed("new/7.txt"), before);
  EXPECT_EQ(manager_.GetProgress().filesHashed, static_cast<uint32_t>(kFiles + 1));
  EXPECT_EQ(events_.Removed(), 0);
  manager_.Stop();
  const std::string text = sandbox_.ReadFile("config/Shared.dat");
  EXPECT_EQ(text.find("/old/"), std::string::npos);
  EXPECT_NE(text.find("/new/999.txt"), std::string::npos);
}

TEST(UploadFileDataTest, MoveTakesTheNewPathAndTellsTheSink) {
  tarn::test::Sandbox sandbox;
  sandbox.WriteFile("a.txt", "alpha");
  CEventRecorder events;
  using namespace Shared::File::TransferFile;
  CTransferFilePtr file(new CTARNNetTransferFile());
  const auto upload = CTARNNetUploadFileData::Attach(file, {sandbox.Root(), 0, nullptr, {}});
  upload->SetEventSink(&events);
  ASSERT_TRUE(file->Data()->Create((sandbox / "a.txt").string(), nullptr));
  EXPECT_EQ(file->GetName(), "a.txt");
  EXPECT_TRUE(file->Data()->Restore(file->GetFullPathName()));
  EXPECT_FALSE(file->Data()->Save());  // shared files have no metadata to save

  ASSERT_TRUE(file->Data()->SetPath((sandbox / "b.txt").string()));
  EXPECT_EQ(file->GetName(), "b.txt");
  EXPECT_FALSE(fs::exists(sandbox / "a.txt"));
  EXPECT_EQ(sandbox.ReadFile("b.txt"), "alpha");
  EXPECT_EQ(events.Changed(), 1);
  // A file already moved on disk is taken where it now is.
  fs::rename(sandbox / "b.txt", sandbox / "c.txt");
  ASSERT_TRUE(file->Data()->SetPath((sandbox / "c.txt").string()));
  EXPECT_EQ(file->GetFullPathName(), (sandbox / "c.txt").string());
  EXPECT_FALSE(file->Data()->SetPath((sandbox / "missing/d.txt").string()));
  EXPECT_EQ(file->GetFullPathName(), (sandbox / "c.txt").string());
  upload->Detach();
  EXPECT_FALSE(file->Data()->SetPath((sandbox / "e.txt").string()));  // nothing attached any more
}

TEST(AICHStoreTest, SavingAFileAgainReplacesItsElement) {
  tarn::test::Sandbox sandbox;
  HASH::CTARNNetAICHTree tree(100);
  HASH::_tagStructAICHHash leaf;
  leaf.bytes.fill(0xAB);
  tree.Root().SetHash(leaf);
  _tagUnionHash one, two;
  one.bytes.fill(1);
  two.bytes.fill(2);
  ASSERT_TRUE(HASH::SaveAICHTree(sandbox.Root(), one, tree));
  ASSERT_TRUE(HASH::SaveAICHTree(sandbox.Root(), two, tree));
  ASSERT_TRUE(HASH::SaveAICHTree(sandbox.Root(), one, tree));
  const std::string text = sandbox.ReadFile("AICH.dat");
  EXPECT_EQ(text.find(one.ToHex()), text.rfind(one.ToHex()));
  EXPECT_NE(text.find("<AICHBlock>\n\t\t\t<Id>1</Id>\n\t\t\t<AICH>" + leaf.ToHex()),
            std::string::npos);

  sandbox.WriteFile("AICH.dat", "<AICHList><File>");  // cut short: left alone
  EXPECT_FALSE(HASH::SaveAICHTree(sandbox.Root(), one, tree));
  EXPECT_EQ(sandbox.ReadFile("AICH.dat"), "<AICHList><File>");
}

}  // namespace
}  // namespace P2P
