#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace OSTREL::Platform {

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
