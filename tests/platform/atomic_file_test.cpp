#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/AtomicFile.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Sandbox.h"

namespace OSTREL::File {
namespace {

using tarn::test::FaultyFileSystem;

size_t EntriesIn(const std::filesystem::path& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                           std::filesystem::directory_iterator()));
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.WriteFile("data/List.dat", kOld); }

  // The save failed, the old content is all there, and no temporary file was left behind.
  void ExpectOldFileWhole(const std::string& newContent) {
    EXPECT_FALSE(WriteFileAtomically(Target(), newContent));
    EXPECT_EQ(sandbox_.ReadFile("data/List.dat"), kOld);
    EXPECT_EQ(EntriesIn(sandbox_ / "data"), 1u);
  }
  std::filesystem::path Target() const { return sandbox_ / "data/List.dat"; }

  static constexpr const char* kOld = "the old content, whole";
  tarn::test::Sandbox sandbox_;
  FaultyFileSystem faulty_;
  tarn::test::ScopedFileSystem installed_{faulty_};
};

TEST_F(AtomicFileTest, DiskFullMidWayKeepsTheOldFile) {
  faulty_.DiskFullAfter(10);
  ExpectOldFileWhole(std::string(4096, 'x'));
  EXPECT_EQ(faulty_.InjectedFailures(), 1);
}

TEST_F(AtomicFileTest, TornWriteKeepsTheOldFile) {
  faulty_.TearNextWrite(3);
  ExpectOldFileWhole("new content that never lands whole");
}

TEST_F(AtomicFileTest, EveryFailingStepKeepsTheOldFile) {
  for (const auto op : {FaultyFileSystem::EOp::kOpenForWrite, FaultyFileSystem::EOp::kWrite,
                        FaultyFileSystem::EOp::kSync, FaultyFileSystem::EOp::kRename}) {
    faulty_.Fail(op, EIO, 1);
    ExpectOldFileWhole("new");
    EXPECT_EQ(faulty_.InjectedFailures(), 1 + static_cast<int>(op));
  }
  // Once the disk behaves again the same call goes through.
  EXPECT_TRUE(WriteFileAtomically(Target(), "new"));
  EXPECT_EQ(sandbox_.ReadFile("data/List.dat"), "new");
  EXPECT_EQ(EntriesIn(sandbox_ / "data"), 1u);
}

// The rename is already done when the folder sync fails: the new content is in place.
TEST_F(AtomicFileTest, FailedFolderSyncDoesNotUndoTheSave) {
  faulty_.Fail(FaultyFileSystem::EOp::kSyncFolder, EIO);
  EXPECT_TRUE(WriteFileAtomically(Target(), "new"));
  EXPECT_EQ(sandbox_.ReadFile("data/List.dat"), "new");
}

TEST_F(AtomicFileTest, TheNewFileIsTheOwnersAloneWhateverTheOldOneWas) {
  using std::filesystem::perms;
  std::filesystem::permissions(
      Target(), perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
  ASSERT_TRUE(WriteFileAtomically(Target(), "new"));
  EXPECT_EQ(std::filesystem::status(Target()).permissions() & perms::all,
            perms::owner_read | perms::owner_write);
}

TEST_F(AtomicFileTest, ReadWholeFileRefusesOversizedAndMissingFiles) {
  EXPECT_EQ(ReadWholeFile(Target(), 64), kOld);
  EXPECT_EQ(ReadWholeFile(Target(), 5), std::nullopt);
  EXPECT_EQ(ReadWholeFile(sandbox_ / "data/missing", 64), std::nullopt);
  EXPECT_EQ(ReadWholeFile(sandbox_ / "data", 64), std::nullopt);  // a folder
}

}  // namespace
}  // namespace OSTREL::File
