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

bool CTARNNetPartFile::Create(const std::filesystem::path& path, uint32_t size) {
  file_ = FileSystem().Open(path, EOpenMode::kCreateTruncate);
  if (!file_) {
    lastError_ = errno;
    return false;
  }
  return SetSize(size);
}

bool CTARNNetPartFile::Open(const std::filesystem::path& path) {
  file_ = FileSystem().Open(path, EOpenMode::kReadWrite);
  if (!file_) lastError_ = errno;
  return file_ != nullptr;
}

bool CTARNNetPartFile::SetSize(uint32_t size) {
  if (!file_) return false;
  const auto stat = file_->Stat();
  if (stat && stat->size == size) return true;
  if (file_->Truncate(size)) return true;
  lastError_ = file_->LastError();
  return false;
}

std::optional<OSTREL::File::SFileStat> CTARNNetPartFile::Stat() {
  return file_ ? file_->Stat() : std::nullopt;
}

bool CTARNNetPartFile::WriteBlock(uint32_t offset, std::span<const uint8_t> data) {
  if (!file_) {
    writeFailed_ = true;
    return false;
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

bool CTARNNetPartFile::DigestRange(uint32_t start, uint32_t length, HASH::CMD4Digest& md4) {
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

bool CTARNNetPartFile::Read(uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
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
  if (!file_ || file_->Sync()) return true;
  lastError_ = file_->LastError();
  return false;
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
