#include "engine/download/PartFile.h"

#include <cerrno>

#include "engine/hashing/Digest.h"
#include "engine/hashing/HashConstants.h"

namespace P2P::Shared::File::TransferFile {
namespace {

using OSTREL::File::EOpenMode;
using OSTREL::File::FileSystem;

constexpr size_t kCopyChunk = 1024 * 1024;

bool CopyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  auto source = FileSystem().Open(from, EOpenMode::kRead);
  if (!source) return false;
  auto target = FileSystem().Open(to, EOpenMode::kCreateNew);
  if (!target) return false;
  std::vector<uint8_t> buffer(kCopyChunk);
  bool ok = true;
  for (uint64_t offset = 0;;) {
    const auto read = source->ReadAt(offset, buffer);
    if (!read) {
      ok = false;
      break;
    }
    if (*read == 0) break;
    if (!target->WriteAt(offset, std::span(buffer).first(*read))) {
      ok = false;
      break;
    }
    offset += *read;
  }
  ok = ok && target->Sync();
  target.reset();
  if (!ok) FileSystem().Remove(to);
  return ok;
}

}  // namespace

CTARNNetPartFile::CTARNNetPartFile() : queue_(std::make_shared<SQueue>()) {}

CTARNNetPartFile::~CTARNNetPartFile() { WaitForWrites(); }

void CTARNNetPartFile::SQueue::Finish(bool ok, int error, std::pair<uint64_t, uint64_t> lost) {
  {
    OSTREL::Process::CLock guard(lock);
    if (!ok) {
      failed.any = true;
      failed.error = error;
      if (lost.first < lost.second) failed.ranges.push_back(lost);
    }
    --pending;
  }
  idle.NotifyAll();
}

void CTARNNetPartFile::WaitForWrites() {
  OSTREL::Process::CLock guard(queue_->lock);
  while (queue_->pending != 0) queue_->idle.Wait(queue_->lock);
}

void CTARNNetPartFile::UseWriter(std::shared_ptr<CTARNNetDiskWriter> writer) {
  WaitForWrites();
  writer_ = std::move(writer);
}

void CTARNNetPartFile::Close() {
  WaitForWrites();
  file_.reset();
}

bool CTARNNetPartFile::Create(const std::filesystem::path& path, uint64_t size) {
  WaitForWrites();
  file_ = FileSystem().Open(path, EOpenMode::kCreateTruncate);
  if (!file_) {
    lastError_ = errno;
    return false;
  }
  return SetSize(size);
}

bool CTARNNetPartFile::Open(const std::filesystem::path& path) {
  WaitForWrites();
  file_ = FileSystem().Open(path, EOpenMode::kReadWrite);
  if (!file_) lastError_ = errno;
  return file_ != nullptr;
}

bool CTARNNetPartFile::SetSize(uint64_t size) {
  WaitForWrites();
  if (!file_) return false;
  const auto stat = file_->Stat();
  if (stat && stat->size == size) return true;
  if (file_->Truncate(size)) return true;
  lastError_ = file_->LastError();
  return false;
}

std::optional<OSTREL::File::SFileStat> CTARNNetPartFile::Stat() {
  WaitForWrites();
  return file_ ? file_->Stat() : std::nullopt;
}

bool CTARNNetPartFile::WriteBlock(uint64_t offset, std::span<const uint8_t> data) {
  if (!file_) {
    writeFailed_ = true;
    return false;
  }
  if (writer_) {
    {
      OSTREL::Process::CLock guard(queue_->lock);
      ++queue_->pending;
    }
    const uint64_t end = offset + data.size();
    writer_->Submit(
        [file = file_, queue = queue_, offset, end,
         copy = std::vector<uint8_t>(data.begin(), data.end())] {
          // No writeback is started per block: on the writer thread it would only cost CPU
          // that the kernel's flusher spends anyway, and the part's sync waits either way.
          const bool written = file->WriteAt(offset, copy);
          queue->Finish(written, written ? 0 : file->LastError(), {offset, end});
        },
        data.size());
    return true;
  }
  if (file_->WriteAt(offset, data)) {
    // The part's sync before its progress is saved then waits for little more than the last
    // block, instead of the whole part at once.
    file_->StartWriteback(offset, data.size());
    return true;
  }
  lastError_ = file_->LastError();
  writeFailed_ = true;
  return false;
}

bool CTARNNetPartFile::DigestRange(uint64_t start, uint32_t length, HASH::CMD4Digest& md4) {
  WaitForWrites();
  if (!file_) return false;
  std::vector<uint8_t> buffer(std::min<uint32_t>(HASH::kReadChunk, length));
  for (uint32_t done = 0; done < length;) {
    const uint32_t want = std::min<uint32_t>(HASH::kReadChunk, length - done);
    const auto read = file_->ReadAt(uint64_t{start} + done, std::span(buffer).first(want));
    if (!read || *read != want) return false;
    md4.Update(std::span(buffer).first(want));
    done += want;
  }
  return true;
}

bool CTARNNetPartFile::Read(uint64_t start, uint64_t end, std::vector<uint8_t>& data) {
  WaitForWrites();
  if (!file_ || end < start) return false;
  data.resize(end - start);
  const auto read = file_->ReadAt(start, data);
  if (!read || *read != data.size()) {
    data.clear();
    return false;
  }
  return true;
}

bool CTARNNetPartFile::Sync() {
  WaitForWrites();
  {
    OSTREL::Process::CLock guard(queue_->lock);
    if (queue_->failed.any) {
      lastError_ = queue_->failed.error;
      return false;
    }
  }
  if (!file_ || file_->Sync()) return true;
  lastError_ = file_->LastError();
  return false;
}

void CTARNNetPartFile::SyncThen(std::function<void()> then) {
  if (!writer_ || !file_) {
    if (Sync()) then();
    return;
  }
  {
    OSTREL::Process::CLock guard(queue_->lock);
    ++queue_->pending;
  }
  writer_->Submit([file = file_, queue = queue_, then = std::move(then)] {
    const bool synced = file->Sync();
    bool clean = false;
    {
      // A failure not yet taken by the download may be one that `then` would claim.
      OSTREL::Process::CLock guard(queue->lock);
      clean = synced && !queue->failed.any;
    }
    if (clean) then();
    queue->Finish(synced, synced ? 0 : file->LastError(), {});
  });
}

SFailedWrites CTARNNetPartFile::TakeFailedWrites() {
  OSTREL::Process::CLock guard(queue_->lock);
  return std::exchange(queue_->failed, {});
}

bool MoveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (FileSystem().RenameNoReplace(from, to)) {
    FileSystem().SyncFolder(to.parent_path());
    return true;
  }
  if (errno != EXDEV || !CopyFile(from, to)) return false;
  FileSystem().SyncFolder(to.parent_path());
  FileSystem().Remove(from);
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
