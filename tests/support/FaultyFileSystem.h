// Test double: a file system that forwards to the POSIX one and fails on request, so tests
// can put a disk that refuses, fills up or tears a write under the code that saves data.
// Faults are armed from the test thread; calls may come from any thread (a lock guards the
// fault state). ScopedFileSystem installs it for one scope and restores the previous one.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/FileSystem.h"

namespace tarn::test {

class FaultyFileSystem final : public OSTREL::File::IFileSystem {
 public:
  enum class EOp { kOpenForWrite, kWrite, kSync, kRename, kSyncFolder };
  static constexpr int kAlways = -1;

  // The next `times` calls of `op` (kAlways: every call) fail with `error`.
  void Fail(EOp op, int error, int times = kAlways);
  // After `bytes` more bytes, writes fail with ENOSPC; the part of a write that fits lands.
  void DiskFullAfter(uint64_t bytes);
  // The next write lands only its first `keptBytes` bytes, then fails with EIO, as a crash in
  // the middle of the write would leave it.
  void TearNextWrite(size_t keptBytes);
  // Disarms every fault.
  void Heal();
  // Calls failed on purpose so far.
  int InjectedFailures() const;

  std::unique_ptr<OSTREL::File::IFile> Open(const std::filesystem::path& path,
                                            OSTREL::File::EOpenMode mode) override;
  bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool Remove(const std::filesystem::path& path) override;
  std::optional<OSTREL::File::SFileStat> Stat(const std::filesystem::path& path) override;
  std::optional<uint64_t> FreeSpace(const std::filesystem::path& folder) override;
  bool SyncFolder(const std::filesystem::path& folder) override;
  bool CreateFolders(const std::filesystem::path& folder) override;

  // For the files it opens: 0 when `op` may proceed, else the errno to fail it with.
  int TakeFault(EOp op);
  // How much of a write of `size` bytes may land (all of it when no fault is armed) and the
  // errno to fail it with afterwards (0: none).
  std::pair<size_t, int> TakeWriteBudget(size_t size);

 private:
  struct SFault {
    int error = 0;
    int times = 0;
  };
  static constexpr int kOps = 5;

  mutable std::mutex lock_;
  SFault faults_[kOps];
  std::optional<uint64_t> bytesLeft_;
  std::optional<size_t> tearAfter_;
  int injected_ = 0;
};

// Installs a file system for the current scope; the previous one comes back however the
// scope ends.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(OSTREL::File::IFileSystem& fs)
      : previous_(OSTREL::File::SetFileSystem(&fs)) {}
  ~ScopedFileSystem() { OSTREL::File::SetFileSystem(previous_); }
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  OSTREL::File::IFileSystem* previous_;
};

}  // namespace tarn::test
