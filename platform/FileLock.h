// The advisory inter-process lock (flock on a lock file) that guards read-modify-write cycles
// on files shared by the daemon and the desktop side. Held until destruction; one object per
// holder, not shared between threads.
#pragma once

#include <filesystem>

namespace OSTREL::Platform {

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
