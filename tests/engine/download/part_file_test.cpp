// The part file with its writes queued on a disk writer: the queue is bounded, reads and syncs
// see every write handed in before them, and a write that fails on the writer keeps the steps
// queued behind it (the metadata) from claiming it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "engine/download/PartFile.h"
#include "engine/hashing/HashConstants.h"
#include "tests/engine/hashing/HashReference.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Sandbox.h"

namespace P2P::Shared::File::TransferFile {
namespace {

using HASH::kAICHBlockSize;

TEST(PartFileTest, QueuedWritesAreBoundedAndReadsWaitForThem) {
  tarn::test::Sandbox sandbox;
  const uint32_t size = 2 * CTARNNetDiskWriter::kQueueLimit;
  const auto content = tarn::test::PseudoRandomBytes(size, 5);
  CTARNNetPartFile file;
  ASSERT_TRUE(file.Create(sandbox / "00000.tarn.tmp", size));
  auto writer = std::make_shared<CTARNNetDiskWriter>();
  file.UseWriter(writer);

  // The disk is stuck: blocks pile up until the writer says it is backed up.
  std::promise<void> gate;
  writer->Submit([opened = gate.get_future().share()] { opened.wait(); });
  uint32_t queued = 0;
  while (!file.WritesBackedUp()) {
    ASSERT_LT(queued, size);
    ASSERT_TRUE(file.WriteBlock(queued, std::span(content).subspan(queued, kAICHBlockSize)));
    queued += kAICHBlockSize;
  }
  EXPECT_GE(queued, CTARNNetDiskWriter::kQueueLimit);
  EXPECT_LT(queued, CTARNNetDiskWriter::kQueueLimit + kAICHBlockSize);

  // A read of the last block waits until the disk took it.
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.set_value();
  });
  std::vector<uint8_t> read;
  ASSERT_TRUE(file.Read(queued - kAICHBlockSize, queued, read));
  opener.join();
  EXPECT_TRUE(std::equal(read.begin(), read.end(), content.begin() + queued - kAICHBlockSize));
  EXPECT_FALSE(file.WritesBackedUp());
  EXPECT_TRUE(file.Sync());
}

TEST(PartFileTest, AFailedQueuedWriteKeepsWhatFollowsFromClaimingItAndIsToldOnce) {
  tarn::test::Sandbox sandbox;
  tarn::test::FaultyFileSystem faulty;
  tarn::test::ScopedFileSystem installed(faulty);
  const auto content = tarn::test::PseudoRandomBytes(2 * kAICHBlockSize, 6);
  CTARNNetPartFile file;
  ASSERT_TRUE(file.Create(sandbox / "00000.tarn.tmp", 2 * kAICHBlockSize));
  file.UseWriter(std::make_shared<CTARNNetDiskWriter>());

  faulty.Fail(tarn::test::FaultyFileSystem::EOp::kWrite, ENOSPC, 1);
  ASSERT_TRUE(file.WriteBlock(0, std::span(content).first(kAICHBlockSize)));
  bool saved = false;
  file.SyncThen([&] { saved = true; });
  EXPECT_FALSE(file.Sync());  // the failure is still untold
  EXPECT_FALSE(saved);
  const SFailedWrites failed = file.TakeFailedWrites();
  EXPECT_TRUE(failed.any);
  EXPECT_EQ(failed.error, ENOSPC);
  ASSERT_EQ(failed.ranges.size(), 1u);
  EXPECT_EQ(failed.ranges[0], std::make_pair(0u, kAICHBlockSize));
  EXPECT_FALSE(file.TakeFailedWrites().any);

  // The disk has room again: the block is written anew and what follows it runs.
  ASSERT_TRUE(file.WriteBlock(0, std::span(content).first(kAICHBlockSize)));
  file.SyncThen([&] { saved = true; });
  EXPECT_TRUE(file.Sync());
  EXPECT_TRUE(saved);
}

}  // namespace
}  // namespace P2P::Shared::File::TransferFile
