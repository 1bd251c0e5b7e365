#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/Log.h"

namespace OSTREL::Platform {
namespace {

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    LogWarning("cannot write ", temp.string(), ": ", std::strerror(errno));
    return false;
  }
  const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  ::close(fd);
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
    LogWarning("cannot write ", path.string(), ": ", std::strerror(written ? errno : savedErrno));
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolder(path.parent_path());
  return true;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, size_t maxSize) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || content.size() + static_cast<size_t>(got) > maxSize) {
      ::close(fd);
      if (got == 0) return content;
      return std::nullopt;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}

CFileLock::CFileLock(const std::filesystem::path& lockFile, Mode mode) {
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  const int operation = mode == Mode::kShared ? LOCK_SH : LOCK_EX;
  int result;
  do {
    result = ::flock(fd_, operation);
  } while (result != 0 && errno == EINTR);
  locked_ = result == 0;
}

CFileLock::~CFileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the lock
}

}  // namespace OSTREL::Platform
