#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/download/DownloadFileData.h"
#include "engine/download/DownloadFileManager.h"
#include "engine/transfer/TransferFileList.h"
#include "engine/upload/UploadFileManager.h"
#include "framework/CriticalSection.h"
#include "platform/FileSystem.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/FileSizes.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

namespace P2P {
namespace {

namespace fs = std::filesystem;
using OSTREL::File::EOpenMode;
using OSTREL::File::IFile;
using OSTREL::File::PosixFileSystem;
using Shared::File::TransferFile::CTransferFilePtr;
using tarn::test::PseudoRandomBytes;

// The real disk, except that block writes or resizing can be made to fail as on a full disk.
class CFaultyFileSystem : public OSTREL::File::IFileSystem {
 public:
  std::atomic<bool> failWrites{false};
  std::atomic<bool> failTruncate{false};
  // What the disk says is free; kRealSpace: what it really has.
  static constexpr uint64_t kRealSpace = UINT64_MAX;
  std::atomic<uint64_t> freeSpace{kRealSpace};

  class CFile : public IFile {
   public:
    CFile(std::unique_ptr<IFile> inner, CFaultyFileSystem& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    std::optional<size_t> ReadAt(uint64_t offset, std::span<uint8_t> out) override {
      return inner_->ReadAt(offset, out);
    }
    bool WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
      if (owner_.failWrites) {
        error_ = ENOSPC;
        return false;
      }
      return inner_->WriteAt(offset, data);
    }
    bool Sync() override { return inner_->Sync(); }
    bool Truncate(uint64_t size) override {
      if (owner_.failTruncate) {
        error_ = EIO;
        return false;
      }
      return inner_->Truncate(size);
    }
    std::optional<OSTREL::File::SFileStat> Stat() override { return inner_->Stat(); }
    int LastError() const override { return error_ != 0 ? error_ : inner_->LastError(); }

   private:
    std::unique_ptr<IFile> inner_;
    CFaultyFileSystem& owner_;
    int error_ = 0;
  };

  std::unique_ptr<IFile> Open(const fs::path& path, EOpenMode mode) override {
    auto inner = PosixFileSystem().Open(path, mode);
    return inner ? std::make_unique<CFile>(std::move(inner), *this) : nullptr;
  }
  bool Rename(const fs::path& from, const fs::path& to) override {
    return PosixFileSystem().Rename(from, to);
  }
  bool RenameNoReplace(const fs::path& from, const fs::path& to) override {
    return PosixFileSystem().RenameNoReplace(from, to);
  }
  bool Remove(const fs::path& path) override { return PosixFileSystem().Remove(path); }
  std::optional<OSTREL::File::SFileStat> Stat(const fs::path& path) override {
    return PosixFileSystem().Stat(path);
  }
  std::optional<uint64_t> FreeSpace(const fs::path& folder) override {
    if (freeSpace != kRealSpace) return freeSpace.load();
    return PosixFileSystem().FreeSpace(folder);
  }
  bool SyncFolder(const fs::path& folder) override { return PosixFileSystem().SyncFolder(folder); }
  bool CreateFolders(const fs::path& folder) override {
    return PosixFileSystem().CreateFolders(folder);
  }
};

class DownloadFileManagerTest : public ::testing::Test {
 protected:
  DownloadFileManagerTest() {
    fs::create_directories(temp_);
    fs::create_directories(shared_);
    fs::create_directories(config_);
    OSTREL::File::SetFileSystem(&faulty_);
  }
  ~DownloadFileManagerTest() override {
    StopAll();
    // Files completed with no upload manager stay in the process-wide list; later tests
    // (and the engine root's offers) must not see them.
    if (auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance())
      files->Clear();
    OSTREL::File::SetFileSystem(nullptr);
  }

  void StartUploads() {
    uploads_ = std::make_unique<CTARNNetUploadFileManager>();
    ASSERT_TRUE(uploads_->Start(config_, shared_, 0));
  }
  void StartDownloads() {
    downloads_ = std::make_unique<CTARNNetDownloadFileManager>();
    downloads_->Advise(&events_);
    downloads_->SetHooks(hooks_);
    downloads_->SetUploadFileManager(uploads_.get());
    ASSERT_TRUE(downloads_->Start(temp_, shared_));
  }
  void StopAll() {
    if (downloads_) downloads_->Stop();
    downloads_.reset();
    if (uploads_) uploads_->Stop();
    uploads_.reset();
  }
  void RestartDownloads() {
    downloads_->Stop();
    downloads_.reset();
    StartDownloads();
  }
  CTransferFilePtr Add(const std::vector<uint8_t>& content, const std::string& name) {
    return downloads_->AddDownload(test::RecordFor(content, name));
  }
  static bool Exists(const fs::path& path) { return fs::exists(path); }
  static std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  tarn::test::Sandbox sandbox_;
  fs::path temp_ = sandbox_ / "temp";
  fs::path shared_ = sandbox_ / "shared";
  fs::path config_ = sandbox_ / "config";
  CFaultyFileSystem faulty_;
  Shared::File::TransferFile::SDownloadHooks hooks_;
  test::CDownloadEventLog events_;
  std::unique_ptr<CTARNNetUploadFileManager> uploads_;
  std::unique_ptr<CTARNNetDownloadFileManager> downloads_;
};

TEST_F(DownloadFileManagerTest, AddCreatesPartFilesAtTheFirstFreeIndexWithMetadata) {
  sandbox_.WriteFile("temp/00000.tarn.dat", "left over");  // its .tmp is missing
  StartDownloads();
  const auto content = PseudoRandomBytes(500000, 1);
  const CTransferFilePtr file = Add(content, "clip.avi");
  ASSERT_TRUE(file);
  EXPECT_EQ(fs::file_size(temp_ / "00001.tarn.tmp"), content.size());
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<DownloadFile>\n\t<HHASH>" +
      file->GetHash().ToHex() +
      "</HHASH>\n\t<FileName>clip.avi</FileName>\n\t<FileSize>500000</FileSize>\n"
      "\t<EmptyBlockList>\n\t\t<Block>\n\t\t\t<StartPos>0</StartPos>\n"
      "\t\t\t<EndPos>500000</EndPos>\n\t\t</Block>\n\t</EmptyBlockList>\n</DownloadFile>";
  EXPECT_EQ(sandbox_.ReadFile("temp/00001.tarn.dat"), expected);
  EXPECT_EQ(file->GetTargetFolder(), shared_.string());
  EXPECT_EQ(events_.Lines(), std::vector<std::string>{"added clip.avi"});
  // The same hash again changes nothing.
  EXPECT_FALSE(Add(content, "other.avi"));
  EXPECT_EQ(downloads_->List().Count(), 1u);
  // Files up to 256 GiB are taken (their part file sparse), larger ones refused.
  const auto sized = [](uint64_t size, uint8_t tag) {
    auto record = test::RecordFor({tag}, "huge.iso");
    record.info.size = size;
    return record;
  };
  EXPECT_FALSE(downloads_->AddDownload(sized(tarn::test::kAboveLargestFile, 1)));
  const CTransferFilePtr large = downloads_->AddDownload(sized(uint64_t{5} << 30, 2));
  ASSERT_TRUE(large);
  EXPECT_EQ(large->GetSize(), uint64_t{5} << 30);
  EXPECT_EQ(fs::file_size(temp_ / "00002.tarn.tmp"), uint64_t{5} << 30);
  EXPECT_NE(sandbox_.ReadFile("temp/00002.tarn.dat").find("<FileSize>5368709120</FileSize>"),
            std::string::npos);
}

TEST_F(DownloadFileManagerTest, RestartRestoresTheSameRequiredRanges) {
  StartDownloads();
  const auto content = PseudoRandomBytes(3 * 184320 + 1000, 2);
  const CTransferFilePtr file = Add(content, "song.mp3");
  ASSERT_TRUE(file);
  test::AnswerOneRequest(*file, content);
  const uint32_t remaining = file->Data()->RemainingBytes();
  ASSERT_LT(remaining, content.size());
  const _tagUnionHash hash = file->GetHash();

  RestartDownloads();
  ASSERT_EQ(downloads_->List().Count(), 1u);
  const CTransferFilePtr restored = downloads_->List().At(1);
  EXPECT_EQ(restored->GetHash(), hash);
  EXPECT_EQ(restored->GetName(), "song.mp3");
  EXPECT_EQ(restored->Data()->RemainingBytes(), remaining);
  EXPECT_EQ(restored->Data()->CompletedBytes(), content.size() - remaining);
  EXPECT_FALSE(restored->Data()->IsStopped());
  // What arrived before the restart is still checked: the download completes correctly.
  StartUploads();
  downloads_->SetUploadFileManager(uploads_.get());
  test::DownloadAll(*restored, content);
  EXPECT_EQ(ReadAll(shared_ / "song.mp3"), content);
}

TEST_F(DownloadFileManagerTest, PartHashesFromASourceOutliveARestartUntilTheDownloadGoes) {
  StartDownloads();
  const auto content = PseudoRandomBytes(2 * 9728000 + 5000, 7);
  const CTransferFilePtr file = Add(content, "two parts.bin");
  ASSERT_TRUE(file);
  test::GivePartHashes(*file, content);
  file->Data()->StatisticsSample();
  const fs::path hashes = temp_ / "00000.tarn.hashes";
  EXPECT_TRUE(Exists(hashes));

  RestartDownloads();
  ASSERT_EQ(downloads_->List().Count(), 1u);
  const CTransferFilePtr restored = downloads_->List().At(1);
  {
    OSTREL::Process::CLock guard(restored->LockObject());
    EXPECT_TRUE(restored->HashSet().HashList().Matches(restored->GetHash()));
  }
  EXPECT_TRUE(restored->Data()->Cancel());
  EXPECT_FALSE(Exists(hashes));
}

TEST_F(DownloadFileManagerTest, CompletionMovesSharesAndRaisesEventsInOrder) {
  StartDownloads();
  const auto first = PseudoRandomBytes(1000000, 3);
  const auto second = PseudoRandomBytes(300000, 4);
  const CTransferFilePtr one = Add(first, "a.avi");
  const CTransferFilePtr two = Add(second, "A.avi");
  ASSERT_TRUE(one && two);
  EXPECT_EQ(two->GetName(), "A(1).avi");
  sandbox_.WriteFile("shared/a.avi", "x");
  sandbox_.WriteFile("shared/a(1).avi", "y");
  StartUploads();
  downloads_->SetUploadFileManager(uploads_.get());

  one->Data()->StatisticsSample();  // nothing arrived: no progress event
  test::AnswerOneRequest(*one, first);
  one->Data()->StatisticsSample();
  test::DownloadAll(*one, first);
  EXPECT_EQ(ReadAll(shared_ / "a(2).avi"), first);
  EXPECT_FALSE(Exists(temp_ / "00000.tarn.tmp"));
  EXPECT_FALSE(Exists(temp_ / "00000.tarn.dat"));
  EXPECT_EQ(downloads_->List().Count(), 1u);
  EXPECT_TRUE(uploads_->List().FindByHash(one->GetHash()));
  EXPECT_EQ(one->GetFullPathName(), (shared_ / "a(2).avi").string());
  // One completion, one sequence: completed at its new place while still listed, then one
  // removal; no change event for the move in between.
  EXPECT_EQ(events_.Lines(),
            (std::vector<std::string>{"added a.avi", "added A(1).avi", "progress a.avi",
                                      "completed a(2).avi", "removed a(2).avi"}));
  // A shared file's hash cannot be downloaded again while the file is there.
  EXPECT_FALSE(Add(first, "again.avi"));
}

TEST_F(DownloadFileManagerTest, CancelPauseStopAndResume) {
  StartDownloads();
  const auto a = PseudoRandomBytes(1000, 5), b = PseudoRandomBytes(2000, 6),
             c = PseudoRandomBytes(3000, 7);
  const CTransferFilePtr fa = Add(a, "a"), fb = Add(b, "b"), fc = Add(c, "c");
  auto sweep = [&] {
    std::vector<uint32_t> sizes;
    for (const auto& entry : downloads_->DownloadsNeedingSources()) sizes.push_back(entry.size);
    return sizes;
  };
  EXPECT_EQ(sweep(), (std::vector<uint32_t>{1000, 2000, 3000}));
  const size_t eventsBefore = events_.Lines().size();
  fa->Data()->SetPaused(true);
  fa->Data()->SetPaused(true);  // already paused: no change to tell
  fc->Data()->SetStopped(true);
  EXPECT_EQ(sweep(), (std::vector<uint32_t>{2000}));
  // What the user sees of a download changes: its watchers hear of it once per change.
  const auto lines = events_.Lines();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<ptrdiff_t>(eventsBefore),
                                     lines.end()),
            (std::vector<std::string>{"changed a", "changed c"}));
  std::vector<uint8_t> everyPart(1, 1);
  Shared::File::TransferFile::_tagStructRequestRecord request;
  EXPECT_EQ(fa->Data()->ChooseBlocks(everyPart, request, 3), 0u);
  EXPECT_TRUE(fa->Data()->Resume());
  EXPECT_TRUE(fc->Data()->Resume());
  EXPECT_FALSE(fc->Data()->Resume());  // nothing to resume
  EXPECT_EQ(sweep().size(), 3u);
  EXPECT_EQ(events_.Lines().size(), eventsBefore + 4);

  ASSERT_TRUE(downloads_->CancelDownload(fb));
  EXPECT_FALSE(Exists(temp_ / "00001.tarn.tmp"));
  EXPECT_FALSE(Exists(temp_ / "00001.tarn.dat"));
  EXPECT_EQ(sweep(), (std::vector<uint32_t>{1000, 3000}));
  EXPECT_EQ(events_.Lines().back(), "removed b");
  EXPECT_FALSE(Shared::File::TransferFile::CTARNNetTransferFileList::GetInstance()->FindByHash(
      test::RecordFor(b, "b").hash));
}

TEST_F(DownloadFileManagerTest, SourcesReachTheHookOnceEach) {
  std::vector<uint32_t> added;
  hooks_.sourceAdded = [&](const CTransferFilePtr&, const Remote::Peer::_tagStructPeer& source) {
    added.push_back(source.clientId);
  };
  hooks_.sourceRemoved = [&](const CTransferFilePtr&, uint32_t id) { added.push_back(~id); };
  StartDownloads();
  const auto content = PseudoRandomBytes(1000, 8);
  const CTransferFilePtr file = Add(content, "s");
  EXPECT_TRUE(downloads_->AddSource(file->GetHash(), 0x0100007F, 4662, 0, 0));
  EXPECT_FALSE(downloads_->AddSource(file->GetHash(), 0x0100007F, 4663, 0, 0));
  EXPECT_TRUE(file->Data()->AddSource(0x0200007F, 4662, 0, 0));
  EXPECT_EQ(file->GetSourceCount(), 2u);
  EXPECT_TRUE(file->Data()->RemoveSource(0x0100007F));
  EXPECT_EQ(file->GetSourceCount(), 1u);
  EXPECT_EQ(added, (std::vector<uint32_t>{0x0100007F, 0x0200007F, ~0x0100007Fu}));
  EXPECT_FALSE(downloads_->AddSource(_tagUnionHash{}, 5, 5, 0, 0));
}

TEST_F(DownloadFileManagerTest, WriteErrorKeepsTheBlockRequiredAndStopsTheDownload) {
  StartDownloads();
  const auto content = PseudoRandomBytes(600000, 9);
  const CTransferFilePtr file = Add(content, "full.bin");
  faulty_.failWrites = true;
  test::AnswerOneRequest(*file, content);
  // The writes fail on the disk's writer thread; the download learns of it at its next block
  // or, as here, at its next statistics sample once the writer is done.
  EXPECT_FALSE(file->Data()->Save());
  file->Data()->StatisticsSample();
  EXPECT_EQ(file->Data()->RemainingBytes(), content.size());
  EXPECT_EQ(file->Data()->CompletedBytes(), 0u);
  EXPECT_TRUE(file->Data()->IsStopped());
  EXPECT_TRUE(downloads_->DownloadsNeedingSources().empty());
  const auto lines = events_.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "notice " + std::to_string(file->GetId())),
            lines.end());
  // Once there is room again, the same blocks are asked for and stored.
  faulty_.failWrites = false;
  file->Data()->Resume();
  test::DownloadAll(*file, content);
  EXPECT_TRUE(file->Data()->IsFinished());
}

// The part file of a new download is sized, not filled: a 100 GiB download takes (almost) no
// blocks of the disk until its data comes.
TEST_F(DownloadFileManagerTest, ANewDownloadOf100GiBAllocatesNothingUpFront) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  faulty_.freeSpace = 101 * kGiB;
  auto record = test::RecordFor({1, 2, 3}, "disc.iso");
  record.info.size = 100 * kGiB;
  const CTransferFilePtr file(new Shared::File::TransferFile::CTARNNetTransferFile(record));
  const auto data = Shared::File::TransferFile::CTARNNetDownloadFileData::Attach(file, nullptr);
  ASSERT_TRUE(data->Create(temp_.string(), nullptr));
  struct stat status {};
  ASSERT_EQ(::stat(data->DataPath().c_str(), &status), 0);
  EXPECT_EQ(static_cast<uint64_t>(status.st_size), 100 * kGiB);
  EXPECT_LT(static_cast<uint64_t>(status.st_blocks) * 512, uint64_t{1} << 20);
  EXPECT_EQ(data->RemainingBytes(), 100 * kGiB);
  data->Cancel();
  EXPECT_FALSE(fs::exists(data->DataPath()));
  data->Detach();
}

TEST_F(DownloadFileManagerTest, ADownloadTheDiskCannotHoldIsRefusedWithTheBytesNeededAndFree) {
  StartDownloads();
  const auto content = PseudoRandomBytes(600000, 11);
  faulty_.freeSpace = 599999;
  std::string refusal;
  EXPECT_FALSE(downloads_->AddDownload(test::RecordFor(content, "big.bin"), &refusal));
  EXPECT_EQ(refusal,
            "not enough free space in " + temp_.string() + ": 600000 bytes needed, 599999 free");
  EXPECT_EQ(downloads_->List().Count(), 0u);
  EXPECT_TRUE(fs::is_empty(temp_));
  faulty_.freeSpace = 600000;
  EXPECT_TRUE(downloads_->AddDownload(test::RecordFor(content, "big.bin"), &refusal));
}

// Space is counted per part, as the sparse part file fills: the first block of a part that
// does not fit stops the download with the reason, and it goes on once space is freed.
TEST_F(DownloadFileManagerTest, APartTheDiskCannotHoldStopsTheDownloadUntilSpaceIsFreed) {
  StartDownloads();
  const auto content = PseudoRandomBytes(HASH::kPartSize + 1000, 12);
  const CTransferFilePtr file = Add(content, "two parts.bin");
  ASSERT_TRUE(file);
  test::GivePartHashes(*file, content);
  test::AnswerOneRequest(*file, content);
  ASSERT_GT(file->Data()->CompletedBytes(), 0u);
  // The first part's space was counted at its first block: the rest of it still lands.
  faulty_.freeSpace = 999;
  test::DownloadAll(*file, content);
  EXPECT_EQ(file->Data()->CompletedBytes(), HASH::kPartSize);
  EXPECT_EQ(file->Data()->RemainingBytes(), 1000u);
  EXPECT_TRUE(file->Data()->IsStopped());
  const auto data = file->DataAs<Shared::File::TransferFile::CTARNNetDownloadFileData>();
  const std::string reason =
      "not enough free space in " + temp_.string() + ": 1000 bytes needed, 999 free";
  EXPECT_EQ(data->FailureReason(), reason);
  // Resuming starts the download again, which must find room for what it still needs.
  EXPECT_FALSE(file->Data()->Resume());
  EXPECT_TRUE(file->Data()->IsStopped());
  EXPECT_EQ(data->FailureReason(), reason);
  faulty_.freeSpace = 1000;
  EXPECT_TRUE(file->Data()->Resume());
  EXPECT_EQ(data->FailureReason(), "");
  test::DownloadAll(*file, content);
  EXPECT_TRUE(file->Data()->IsFinished());
}

TEST_F(DownloadFileManagerTest, DataFileThatCannotBeSizedIsRestoredStopped) {
  StartDownloads();
  const auto content = PseudoRandomBytes(5000, 10);
  ASSERT_TRUE(Add(content, "x"));
  downloads_->Stop();
  fs::resize_file(temp_ / "00000.tarn.tmp", 10);
  faulty_.failTruncate = true;
  RestartDownloads();
  ASSERT_EQ(downloads_->List().Count(), 1u);
  EXPECT_TRUE(downloads_->List().At(1)->Data()->IsStopped());
}

TEST_F(DownloadFileManagerTest, BrokenMetadataIsLeftOutAndItsFilesStay) {
  const std::string hash = "0123456789ABCDEF0123456789ABCDEF";
  sandbox_.WriteFile("temp/00000.tarn.dat", "<DownloadFile><HHASH>" + hash);
  sandbox_.WriteFile("temp/00000.tarn.tmp", "");
  sandbox_.WriteFile("temp/00001.tarn.dat",
                     "<DownloadFile><HHASH>" + hash +
                         "</HHASH><FileSize>10</FileSize><EmptyBlockList><Block><StartPos>0"
                         "</StartPos><EndPos>11</EndPos></Block></EmptyBlockList></DownloadFile>");
  sandbox_.WriteFile("temp/00001.tarn.tmp", "");
  sandbox_.WriteFile("temp/00002.tarn.dat", "<DownloadFile><HHASH>" + hash +
                                                "</HHASH><FileSize>10</FileSize></DownloadFile>");
  // 00002 has no data file; 00003 is good.
  sandbox_.WriteFile("temp/00003.tarn.dat",
                     "<DownloadFile><HHASH>" + hash +
                         "</HHASH><FileName>ok</FileName><FileSize>10</FileSize><EmptyBlockList>"
                         "<Block><StartPos>0</StartPos><EndPos>10</EndPos></Block>"
                         "</EmptyBlockList></DownloadFile>");
  sandbox_.WriteFile("temp/00003.tarn.tmp", "");
  fs::create_directories(temp_ / "00004.tarn.dat");
  StartDownloads();
  ASSERT_EQ(downloads_->List().Count(), 1u);
  EXPECT_EQ(downloads_->List().At(1)->GetName(), "ok");
  EXPECT_TRUE(Exists(temp_ / "00000.tarn.dat"));
  EXPECT_TRUE(Exists(temp_ / "00001.tarn.tmp"));
}

struct HostileName {
  std::string name;
  std::string fileName;
};

class DownloadHostileNameTest : public DownloadFileManagerTest,
                                public ::testing::WithParamInterface<HostileName> {};

TEST_P(DownloadHostileNameTest, EndsUpInsideTheSharedFolder) {
  StartUploads();
  StartDownloads();
  const auto content = PseudoRandomBytes(1000, 11 + GetParam().name.size());
  const CTransferFilePtr file = Add(content, GetParam().fileName);
  ASSERT_TRUE(file);
  test::DownloadAll(*file, content);
  ASSERT_TRUE(file->Data()->IsFinished());
  const fs::path placed = file->GetFullPathName();
  EXPECT_EQ(placed.parent_path(), shared_);
  EXPECT_LE(placed.filename().string().size(), 255u);
  EXPECT_EQ(ReadAll(placed), content);
  EXPECT_FALSE(Exists(sandbox_ / "x"));
}

INSTANTIATE_TEST_SUITE_P(Names, DownloadHostileNameTest,
                         ::testing::Values(HostileName{"ParentFolders", "../../x"},
                                           HostileName{"AbsolutePath", "/etc/passwd"},
                                           HostileName{"LineBreak", "a\nb"},
                                           HostileName{"Dots", ".."},
                                           HostileName{"Long", std::string(300, 'n') + ".avi"},
                                           HostileName{"InvalidUtf8", "bad\xff\xfe name.mp3"}),
                         [](const ::testing::TestParamInfo<HostileName>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace P2P
