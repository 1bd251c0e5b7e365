// The file-backed registry: one .reg text file per root hive in the registry folder, read
// lazily and re-read when another process has replaced it; every change is made under an
// exclusive flock on the hive's lock file, on a freshly re-read tree, and saved atomically,
// so the daemon and the desktop program never lose each other's writes. Operations return
// success flags and never throw. Thread-safe.
#pragma once

#include <sys/types.h>

#include <array>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/CriticalSection.h"
#include "platform/RegistryHive.h"

namespace OSTREL::Platform {

enum class RegRoot { kLocalMachine, kCurrentUser, kClassesRoot };

// "HKEY_LOCAL_MACHINE" and so on: the section prefix and the file name stem.
std::string_view RootName(RegRoot root);

class CRegistry {
 public:
  explicit CRegistry(std::filesystem::path folder);
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path HiveFile(RegRoot root) const;

  // Creates the key and its missing parents; true when it exists afterwards.
  bool CreateKey(RegRoot root, std::string_view keyPath);
  bool KeyExists(RegRoot root, std::string_view keyPath);
  // Deletes the key and everything below it.
  bool DeleteKey(RegRoot root, std::string_view keyPath);
  std::optional<std::vector<std::string>> EnumSubKeys(RegRoot root, std::string_view keyPath);
  std::optional<std::vector<std::string>> EnumValueNames(RegRoot root, std::string_view keyPath);

  // The empty name is the key's default value.
  std::optional<CRegValue> QueryValue(RegRoot root, std::string_view keyPath,
                                      std::string_view name);
  // Creates the key when it is missing.
  bool SetValue(RegRoot root, std::string_view keyPath, std::string_view name, CRegValue value);
  bool DeleteValue(RegRoot root, std::string_view keyPath, std::string_view name);

  // Several changes in one locked read-modify-write and one save. `change` returns false
  // when it changed nothing (nothing is written then, and Update returns false).
  bool Update(RegRoot root, const std::function<bool(CRegHive&)>& change);

 private:
  // Identifies one version of a hive file, to notice replacement by another process.
  struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
  };
  struct HiveState {
    std::optional<CRegHive> hive;
    FileStamp stamp;
    bool unreadable = false;  // the file exists but is no registry file
  };

  FileStamp StampOf(RegRoot root) const;
  std::filesystem::path LockFile(RegRoot root) const;
  // Re-reads the hive when its file changed since the last read; caller holds mutex_.
  const CRegHive& Current(RegRoot root) REQUIRES(mutex_);
  void LoadLocked(RegRoot root) REQUIRES(mutex_);
  bool SaveLocked(RegRoot root) REQUIRES(mutex_);

  std::filesystem::path folder_;
  OSTREL::Process::CMutex mutex_;
  std::array<HiveState, 3> hives_ GUARDED_BY(mutex_);
};

}  // namespace OSTREL::Platform
