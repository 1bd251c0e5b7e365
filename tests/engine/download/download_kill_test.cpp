// Crash safety of a download: a child process keeps handing blocks (some of them damaged) into
// a download and is killed with SIGKILL at random moments. After every kill the download must
// restore, and every part its metadata records as done must hold the right data; in the end
// the download completes with the right file hash.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "engine/download/DownloadFileManager.h"
#include "engine/download/DownloadMetadata.h"
#include "engine/download/PartFileNames.h"
#include "engine/hashing/HashConstants.h"
#include "engine/transfer/TransferFileList.h"
#include "tests/engine/download/DownloadTestKit.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

extern char** environ;

namespace P2P {
namespace {

namespace fs = std::filesystem;
using Shared::File::TransferFile::CTransferFilePtr;

constexpr const char* kChildFolderVariable = "TARN_DOWNLOAD_KILL_FOLDER";
constexpr int kRounds = 20;
// Five parts, the last one short.
const uint32_t kSize = 4 * HASH::kPartSize + 300000;

std::vector<uint8_t> Content() { return tarn::test::PseudoRandomBytes(kSize, 77); }

// The child: restores the download and answers requests until it is killed. It never hands
// in the file's last block, so the download cannot finish under it, and it damages about one
// block in four hundred, so that some parts fail their check and are fetched again.
TEST(DownloadKillChild, WritesBlocksUntilKilled) {
  const char* folder = std::getenv(kChildFolderVariable);
  if (folder == nullptr) GTEST_SKIP() << "run by DownloadKillTest";
  const auto content = Content();
  CTARNNetDownloadFileManager manager;
  manager.Start(fs::path(folder) / "temp", fs::path(folder) / "shared");
  ASSERT_EQ(manager.List().Count(), 1u);
  const CTransferFilePtr file = manager.List().At(1);
  test::GivePartHashes(*file, content);
  std::ofstream(fs::path(folder) / "ready") << "writing";
  std::mt19937 random(static_cast<uint32_t>(::getpid()));
  for (;;) {
    std::vector<uint8_t> everyPart(file->PartCount(), 1);
    Shared::File::TransferFile::_tagStructRequestRecord request;
    const uint32_t chosen = file->Data()->ChooseBlocks(everyPart, request, 3);
    for (uint32_t i = 0; i < chosen; ++i) {
      const uint32_t start = request.start[i], end = request.end[i];
      if (end == kSize) continue;
      std::vector<uint8_t> data(content.begin() + start, content.begin() + end);
      if (random() % 400 == 0) data[data.size() / 2] ^= 0x5A;
      Shared::File::TransferFile::CTARNNetTransferBlock block(start, end);
      block.AppendPlain(start, data);
      file->Data()->AcceptData({&block, end - start});
    }
    // Slow enough that the parts get done over several rounds, not in the first one.
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

pid_t SpawnChild(const fs::path& folder) {
  ::setenv(kChildFolderVariable, folder.c_str(), 1);
  std::string filter = "--gtest_filter=DownloadKillChild.WritesBlocksUntilKilled";
  char self[] = "/proc/self/exe";
  char* argv[] = {self, filter.data(), nullptr};
  pid_t pid = -1;
  const int result = ::posix_spawn(&pid, self, nullptr, nullptr, argv, environ);
  ::unsetenv(kChildFolderVariable);
  return result == 0 ? pid : -1;
}

// Every part the metadata records as done holds the bytes of that part.
void ExpectRecordedPartsIntact(const fs::path& temp, const std::vector<uint8_t>& content,
                               int round) {
  const auto paths = Shared::File::TransferFile::PartFilePaths(temp, 0);
  const auto metadata = Shared::File::TransferFile::LoadDownloadMetadata(paths.metadata);
  ASSERT_TRUE(metadata) << "round " << round;
  std::ifstream in(paths.data, std::ios::binary);
  const std::vector<uint8_t> stored{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
  ASSERT_EQ(stored.size(), content.size()) << "round " << round;
  const auto expected = tarn::test::RefPartHashes(content);
  for (uint32_t part = 0; part < HASH::PartCount(kSize); ++part) {
    const uint32_t start = HASH::PartStart(part);
    const uint32_t length = HASH::PartLength(kSize, part);
    if (metadata->required.Overlaps(start, start + length)) continue;
    EXPECT_EQ(tarn::test::RefMD4(stored.data() + start, length), expected[part])
        << "part " << part << " recorded done with other data, round " << round;
  }
}

TEST(DownloadKillTest, EveryRestartRestoresAndRecordedPartsHoldTheirData) {
#if defined(__SANITIZE_THREAD__)
  // Crash safety is not about threads, and twenty forked children under ThreadSanitizer take
  // minutes; the plain and AddressSanitizer runs cover it.
  GTEST_SKIP() << "not run under ThreadSanitizer";
#endif
  tarn::test::Sandbox sandbox;
  const fs::path temp = sandbox / "temp", shared = sandbox / "shared";
  fs::create_directories(temp);
  fs::create_directories(shared);
  const auto content = Content();
  {
    CTARNNetDownloadFileManager manager;
    manager.Start(temp, shared);
    ASSERT_TRUE(manager.AddDownload(test::RecordFor(content, "big.iso")));
    manager.Stop();
  }

  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> early(0, 60), writing(0, 400), late(600, 1200);
  const fs::path ready = sandbox / "ready";
  for (int round = 0; round < kRounds; ++round) {
    fs::remove(ready);
    const pid_t child = SpawnChild(sandbox.Root());
    ASSERT_GT(child, 0);
    // Every fourth round dies while starting or restoring; the others once they write, some
    // late enough that parts are surely done, however busy the machine is.
    int delay = early(random);
    if (round % 4 != 0) {
      tarn::test::WaitUntil([&] { return fs::exists(ready); }, std::chrono::seconds(30));
      delay = round % 4 == 3 ? late(random) : writing(random);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own in round " << round;

    CTARNNetDownloadFileManager manager;
    manager.Start(temp, shared);
    ASSERT_EQ(manager.List().Count(), 1u) << "round " << round;
    // Leave the files exactly as the child left them: no save on the way out.
    for (const CTransferFilePtr& file : manager.List().Snapshot())
      Shared::File::TransferFile::CTARNNetTransferFileList::GetInstance()->Remove(file.Get());
    manager.List().Clear();
    ExpectRecordedPartsIntact(temp, content, round);
  }

  CTARNNetDownloadFileManager manager;
  manager.Start(temp, shared);
  ASSERT_EQ(manager.List().Count(), 1u);
  const CTransferFilePtr file = manager.List().At(1);
  EXPECT_GT(file->Data()->CompletedBytes(), 0u);
  test::GivePartHashes(*file, content);
  test::DownloadAll(*file, content);
  ASSERT_TRUE(file->Data()->IsFinished());
  std::ifstream in(shared / "big.iso", std::ios::binary);
  const std::vector<uint8_t> done{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  ASSERT_EQ(done.size(), content.size());
  EXPECT_EQ(tarn::test::RefFileHash(done), tarn::test::RefFileHash(content));
}

}  // namespace
}  // namespace P2P
