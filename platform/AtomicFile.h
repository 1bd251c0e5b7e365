// Whole-file writes that a crash cannot tear: the content goes to a temporary file in the same
// folder, is flushed to disk, and is renamed over the target, so readers see the old file or
// the new one. Also the advisory inter-process lock that guards read-modify-write cycles.
// Any thread; the lock object itself is not shared between threads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace OSTREL::Platform {

// Writes `content` to `path` through `path` + ".tmp". Callers that may race on the same
// target must hold a CFileLock, since the temporary name is fixed (a stale one left by a
// killed writer is simply overwritten). Returns false (and leaves the old file) on any error.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

// The whole file; nullopt when it cannot be opened or is larger than `maxSize`.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, size_t maxSize);

// flock() on a lock file, held until destruction.
class CFileLock {
 public:
  enum class Mode { kShared, kExclusive };
  CFileLock(const std::filesystem::path& lockFile, Mode mode);
  ~CFileLock();
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  bool IsLocked() const { return locked_; }

 private:
  int fd_ = -1;
  bool locked_ = false;
};

}  // namespace OSTREL::Platform
