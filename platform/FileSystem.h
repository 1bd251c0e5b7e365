// The one door to the disk for everything that reads or writes file data: open, read and write
// at an offset, sync, size, rename, remove, stat with birth time, free space. The process holds
// one current file system (the POSIX one unless a test installs another), so tests can put a
// disk that fails, fills up or tears a write under the hasher, the part files and the data
// files without touching process limits. Every call is thread-safe; an open file is used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace OSTREL::File {

// FILETIME values as the data files keep them: 100-ns ticks since 1601-01-01 UTC.
int64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);
int64_t FileTimeNow();

struct SFileStat {
  uint64_t size = 0;
  int64_t creationTime = 0;   // birth time where the file system keeps one, else change time
  int64_t lastWriteTime = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  bool isRegular = false;
  bool isDirectory = false;
};

enum class EOpenMode {
  kRead,            // an existing file, read only
  kReadWrite,       // an existing file
  kCreateOrOpen,    // read-write; created empty when missing
  kCreateNew,       // read-write; fails when the name is taken
  kCreatePrivate,   // as kCreateNew, readable and writable by the owner only (0600)
  kCreateTruncate,  // read-write; created, or emptied when it exists
};

class IFile {
 public:
  virtual ~IFile() = default;
  // Reads up to `out.size()` bytes at `offset`; returns the count read, short only at the end of
  // the file; nothing on an error.
  virtual std::optional<size_t> ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
  // Writes all of `data` at `offset`; a short write (disk full) is a failure.
  virtual bool WriteAt(uint64_t offset, std::span<const uint8_t> data) = 0;
  // Makes written data durable (fdatasync).
  virtual bool Sync() = 0;
  virtual bool Truncate(uint64_t size) = 0;
  virtual std::optional<SFileStat> Stat() = 0;
  // Sequential-read hint for whole-file passes such as hashing; no effect on results.
  virtual void AdviseSequential() {}
  // Starts writing [offset, offset + length) to the disk without waiting, so that a later
  // Sync has less left to wait for; durability still comes only from Sync.
  virtual void StartWriteback(uint64_t /*offset*/, uint64_t /*length*/) {}
  // errno of the last failed call, 0 when none failed.
  virtual int LastError() const = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  virtual std::unique_ptr<IFile> Open(const std::filesystem::path& path, EOpenMode mode) = 0;
  // Replaces `to` when it exists, in one step.
  virtual bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  // Fails (EEXIST) instead of replacing `to`.
  virtual bool RenameNoReplace(const std::filesystem::path& from,
                               const std::filesystem::path& to) = 0;
  virtual bool Remove(const std::filesystem::path& path) = 0;
  // Follows symbolic links; nothing when the path is missing.
  virtual std::optional<SFileStat> Stat(const std::filesystem::path& path) = 0;
  virtual std::optional<uint64_t> FreeSpace(const std::filesystem::path& folder) = 0;
  // Makes a rename or a new entry in `folder` durable.
  virtual bool SyncFolder(const std::filesystem::path& folder) = 0;
  virtual bool CreateFolders(const std::filesystem::path& folder) = 0;
};

// The current file system.
IFileSystem& FileSystem();
// Tests: installs `fs` (nullptr restores the POSIX one); returns the previous one. Not for use
// while other threads are inside a call.
IFileSystem* SetFileSystem(IFileSystem* fs);
// The POSIX file system, for test doubles that forward to it.
IFileSystem& PosixFileSystem();

}  // namespace OSTREL::File
