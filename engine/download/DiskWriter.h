// The writer of one disk: the block writes and part flushes of every download whose part file
// lies on that disk run on its own thread, in the order they were handed in, so the sessions
// receiving the data never wait for the disk. Block data waiting here is bounded: past
// kQueueLimit bytes the writer reports itself backed up, and the sessions stop reading until
// it caught up, so memory stays bounded and TCP holds the senders back. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "framework/CriticalSection.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetDiskWriter {
 public:
  // About a third of a second of a fast disk, five parts.
  static constexpr size_t kQueueLimit = 48 << 20;

  // The writer of the disk that holds `folder`, started on first use and shared by every part
  // file on that disk; it ends when the last of them lets go.
  static std::shared_ptr<CTARNNetDiskWriter> ForFolder(const std::filesystem::path& folder);

  CTARNNetDiskWriter();
  // Runs what is still queued, then ends the thread.
  ~CTARNNetDiskWriter();
  CTARNNetDiskWriter(const CTARNNetDiskWriter&) = delete;
  CTARNNetDiskWriter& operator=(const CTARNNetDiskWriter&) = delete;

  // Queues `job`; `bytes` is the block data it holds, counted against the limit until it ran.
  void Submit(std::function<void()> job, size_t bytes = 0);
  bool IsBackedUp() const;

 private:
  struct SJob {
    std::function<void()> run;
    size_t bytes = 0;
  };

  void Run();

  mutable OSTREL::Process::CMutex lock_;
  OSTREL::Process::CConditionVariable queued_;
  std::deque<SJob> jobs_ GUARDED_BY(lock_);
  size_t queuedBytes_ GUARDED_BY(lock_) = 0;  // block data of the queued jobs
  bool stopping_ GUARDED_BY(lock_) = false;
  std::thread thread_;
};

}  // namespace P2P::Shared::File::TransferFile
