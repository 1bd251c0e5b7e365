#include "platform/AtomicFile.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <span>

#include "platform/FileSystem.h"

namespace OSTREL::File {
namespace {

constexpr int kTempNameAttempts = 16;

// A name next to `path` that no other writer (thread or process) picks at the same time.
std::filesystem::path TempName(const std::filesystem::path& path) {
  static std::atomic<uint64_t> counter{0};
  const uint64_t serial = counter.fetch_add(1, std::memory_order_relaxed);
  return path.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial);
}

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content) {
  return WriteFileAtomically(path,
                             [content](const CContentWriter& write) { return write(content); });
}

bool WriteFileAtomically(const std::filesystem::path& path,
                         const std::function<bool(const CContentWriter&)>& produce) {
  IFileSystem& fs = FileSystem();
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  std::filesystem::path temp;
  std::unique_ptr<IFile> file;
  // Another name only when this one is taken; any other error fails the save.
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    temp = TempName(path);
    errno = 0;
    file = fs.Open(temp, EOpenMode::kCreatePrivate);
    if (file || errno != EEXIST) break;
  }
  if (!file) return false;
  uint64_t offset = 0;
  const CContentWriter write = [&file, &offset](std::string_view piece) {
    if (!file->WriteAt(offset, Bytes(piece))) return false;
    offset += piece.size();
    return true;
  };
  const bool written = produce(write) && file->Sync();
  file.reset();  // closed before the rename
  if (!written || !fs.Rename(temp, path)) {
    fs.Remove(temp);
    return false;
  }
  // Makes the rename itself durable; a failure here does not undo the save.
  fs.SyncFolder(folder);
  return true;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, size_t maxSize) {
  const auto file = FileSystem().Open(path, EOpenMode::kRead);
  if (!file) return std::nullopt;
  std::string content;
  uint8_t chunk[16384];
  for (;;) {
    const auto got = file->ReadAt(content.size(), chunk);
    if (!got) return std::nullopt;
    if (*got == 0) return content;
    if (content.size() + *got > maxSize) return std::nullopt;
    content.append(reinterpret_cast<const char*>(chunk), *got);
  }
}

}  // namespace OSTREL::File
