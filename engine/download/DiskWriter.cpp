#include "engine/download/DiskWriter.h"

#include <map>

#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {

using OSTREL::Process::CLock;

std::shared_ptr<CTARNNetDiskWriter> CTARNNetDiskWriter::ForFolder(
    const std::filesystem::path& folder) {
  static OSTREL::Process::CMutex registryLock;
  static std::map<uint64_t, std::weak_ptr<CTARNNetDiskWriter>> writers GUARDED_BY(registryLock);
  const auto stat = OSTREL::File::FileSystem().Stat(folder);
  const uint64_t device = stat ? stat->device : 0;
  CLock guard(registryLock);
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
    CLock guard(lock_);
    stopping_ = true;
  }
  queued_.NotifyAll();
  thread_.join();
}

void CTARNNetDiskWriter::Submit(std::function<void()> job, size_t bytes) {
  {
    CLock guard(lock_);
    jobs_.push_back({std::move(job), bytes});
    queuedBytes_ += bytes;
  }
  queued_.NotifyOne();
}

bool CTARNNetDiskWriter::IsBackedUp() const {
  CLock guard(lock_);
  return queuedBytes_ >= kQueueLimit;
}

void CTARNNetDiskWriter::Run() {
  lock_.lock();
  for (;;) {
    while (!stopping_ && jobs_.empty()) queued_.Wait(lock_);
    if (jobs_.empty()) break;
    SJob job = std::move(jobs_.front());
    jobs_.pop_front();
    lock_.unlock();
    job.run();
    job.run = nullptr;  // what the job held goes before the bytes are counted free
    lock_.lock();
    queuedBytes_ -= job.bytes;
  }
  lock_.unlock();
}

}  // namespace P2P::Shared::File::TransferFile
