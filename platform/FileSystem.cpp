#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace OSTREL::File {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600;

SFileStat FromStatx(const struct statx& info) {
  SFileStat stat;
  stat.size = info.stx_size;
  const bool hasBirth = (info.stx_mask & STATX_BTIME) != 0;
  const struct statx_timestamp& created = hasBirth ? info.stx_btime : info.stx_ctime;
  stat.creationTime = FileTimeFromUnix(created.tv_sec, created.tv_nsec);
  stat.lastWriteTime = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
  stat.device = (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
  stat.inode = info.stx_ino;
  stat.isRegular = S_ISREG(info.stx_mode);
  stat.isDirectory = S_ISDIR(info.stx_mode);
  return stat;
}

std::optional<SFileStat> StatAt(int dirFd, const char* path, int flags) {
  struct statx info {};
  if (statx(dirFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return std::nullopt;
  return FromStatx(info);
}

class CPosixFile final : public IFile {
 public:
  explicit CPosixFile(int fd) : fd_(fd) {}
  ~CPosixFile() override { ::close(fd_); }
  CPosixFile(const CPosixFile&) = delete;
  CPosixFile& operator=(const CPosixFile&) = delete;

  std::optional<size_t> ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Fail();
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }

  bool WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t put = ::pwrite(fd_, data.data() + done, data.size() - done,
                                   static_cast<off_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return Fail(), false;
      if (put == 0) return Fail(ENOSPC), false;
      done += static_cast<size_t>(put);
    }
    return true;
  }

  bool Sync() override { return ::fdatasync(fd_) == 0 || (Fail(), false); }
  bool Truncate(uint64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 || (Fail(), false);
  }
  std::optional<SFileStat> Stat() override {
    auto stat = StatAt(fd_, "", AT_EMPTY_PATH);
    if (!stat) Fail();
    return stat;
  }
  void AdviseSequential() override { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL); }
  void StartWriteback(uint64_t offset, uint64_t length) override {
    ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length),
                      SYNC_FILE_RANGE_WRITE);
  }
  int LastError() const override { return lastError_; }

 private:
  std::nullopt_t Fail(int error = errno) {
    lastError_ = error;
    return std::nullopt;
  }

  int fd_;
  int lastError_ = 0;
};

class CPosixFileSystem final : public IFileSystem {
 public:
  std::unique_ptr<IFile> Open(const std::filesystem::path& path, EOpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case EOpenMode::kRead: flags |= O_RDONLY; break;
      case EOpenMode::kReadWrite: flags |= O_RDWR; break;
      case EOpenMode::kCreateOrOpen: flags |= O_RDWR | O_CREAT; break;
      case EOpenMode::kCreateNew:
      case EOpenMode::kCreatePrivate:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
      case EOpenMode::kCreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd;
    do {
      fd = ::open(path.c_str(), flags, mode == EOpenMode::kCreatePrivate ? 0600 : 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    return std::make_unique<CPosixFile>(fd);
  }

  bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool RenameNoReplace(const std::filesystem::path& from,
                       const std::filesystem::path& to) override {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
  }

  bool Remove(const std::filesystem::path& path) override {
    return ::unlink(path.c_str()) == 0;
  }

  std::optional<SFileStat> Stat(const std::filesystem::path& path) override {
    return StatAt(AT_FDCWD, path.c_str(), 0);
  }

  std::optional<uint64_t> FreeSpace(const std::filesystem::path& folder) override {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  }

  bool SyncFolder(const std::filesystem::path& folder) override {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
  }

  bool CreateFolders(const std::filesystem::path& folder) override {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
  }
};

CPosixFileSystem& Posix() {
  static CPosixFileSystem posix;
  return posix;
}

std::atomic<IFileSystem*> current{nullptr};

}  // namespace

int64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  return (seconds + kEpochDelta) * 10000000 + nanoseconds / 100;
}

int64_t FileTimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
  return FileTimeFromUnix(ticks / 1000000000, static_cast<uint32_t>(ticks % 1000000000));
}

IFileSystem& FileSystem() {
  IFileSystem* installed = current.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : Posix();
}

IFileSystem* SetFileSystem(IFileSystem* fs) {
  IFileSystem* previous = current.exchange(fs, std::memory_order_acq_rel);
  return previous != nullptr ? previous : &Posix();
}

IFileSystem& PosixFileSystem() { return Posix(); }

}  // namespace OSTREL::File
