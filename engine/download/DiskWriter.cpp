#include "engine/download/DiskWriter.h"

#include <map>

#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {

std::shared_ptr<CTARNNetDiskWriter> CTARNNetDiskWriter::ForFolder(
    const std::filesystem::path& folder) {
  static std::mutex registryLock;
  static std::map<uint64_t, std::weak_ptr<CTARNNetDiskWriter>> writers;
  const auto stat = OSTREL::File::FileSystem().Stat(folder);
  const uint64_t device = stat ? stat->device : 0;
  std::lock_guard guard(registryLock);
  std::weak_ptr<CTARNNetDiskWriter>& slot = writers[device];
  std::shared_ptr<CTARNNetDiskWriter> writer = slot.lock();
  if (!writer) {
    writer = std::make_shared<CTARNNetDiskWriter>();
    slot = writer;
  }
  return writer;
}

CTARNNetDiskWriter::CTARNNetDiskWriter() : thread_([this] { Run(); }) {}

CTARNNetDiskWriter::~CTARNNetDiskWriter() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  queued_.notify_all();
  thread_.join();
}

void CTARNNetDiskWriter::Submit(std::function<void()> job, size_t bytes) {
  {
    std::lock_guard guard(lock_);
    jobs_.push_back({std::move(job), bytes});
    queuedBytes_ += bytes;
  }
  queued_.notify_one();
}

bool CTARNNetDiskWriter::IsBackedUp() const {
  std::lock_guard guard(lock_);
  return queuedBytes_ >= kQueueLimit;
}

void CTARNNetDiskWriter::Run() {
  std::unique_lock guard(lock_);
  for (;;) {
    queued_.wait(guard, [&] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    SJob job = std::move(jobs_.front());
    jobs_.pop_front();
    guard.unlock();
    job.run();
    job.run = nullptr;  // what the job held goes before the bytes are counted free
    guard.lock();
    queuedBytes_ -= job.bytes;
  }
}

}  // namespace P2P::Shared::File::TransferFile
