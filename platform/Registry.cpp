#include "platform/Registry.h"

#include <sys/stat.h>

#include <system_error>

#include "framework/CriticalSection.h"
#include "framework/Limits.h"
#include "framework/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/Folders.h"
#include "platform/RegFile.h"

namespace OSTREL::Platform {
namespace {

size_t Index(RegRoot root) { return static_cast<size_t>(root); }

// Names end up on one line of the file, so control characters are refused.
bool IsValidName(std::string_view name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

bool IsValidKeyPath(std::string_view path) { return IsValidName(path); }

}  // namespace

std::string_view RootName(RegRoot root) {
  switch (root) {
    case RegRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
  }
  return "HKEY_LOCAL_MACHINE";
}

CRegistry::CRegistry(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path CRegistry::HiveFile(RegRoot root) const {
  return folder_ / (std::string(RootName(root)) + ".reg");
}

std::filesystem::path CRegistry::LockFile(RegRoot root) const {
  return folder_ / (std::string(RootName(root)) + ".lock");
}

CRegistry::FileStamp CRegistry::StampOf(RegRoot root) const {
  struct stat info {};
  FileStamp stamp;
  if (::stat(HiveFile(root).c_str(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return stamp;
}

void CRegistry::LoadLocked(RegRoot root) {
  HiveState& state = hives_[Index(root)];
  state.hive.emplace(std::string(RootName(root)));
  state.unreadable = false;
  state.stamp = StampOf(root);
  if (!state.stamp.exists) return;
  const auto path = HiveFile(root);
  const auto text = OSTREL::File::ReadWholeFile(path, OSTREL::Limits::kMaxRegistryFileSize);
  if (!text) {
    LogWarning(path.string(), ": cannot be read; using an empty registry");
    state.unreadable = true;
    return;
  }
  const auto result = ParseRegFile(*text, *state.hive, path.string());
  if (!result.isRegFile && !text->empty()) {
    LogWarning(path.string(), ": not a registry file; using an empty registry");
    state.unreadable = true;
  }
}

const CRegHive& CRegistry::Current(RegRoot root) {
  HiveState& state = hives_[Index(root)];
  if (!state.hive || !(StampOf(root) == state.stamp)) {
    CFileLock lock(LockFile(root), CFileLock::Mode::kShared);
    LoadLocked(root);
  }
  return *state.hive;
}

bool CRegistry::SaveLocked(RegRoot root) {
  HiveState& state = hives_[Index(root)];
  const auto path = HiveFile(root);
  if (state.unreadable) {
    // Keep what was there for the user to inspect instead of overwriting it.
    auto aside = path;
    aside += ".unreadable";
    std::error_code ignored;
    std::filesystem::rename(path, aside, ignored);
    state.unreadable = false;
  }
  if (!OSTREL::File::WriteFileAtomically(path, FormatRegFile(*state.hive))) {
    state.hive.reset();  // re-read what is really on disk next time
    return false;
  }
  state.stamp = StampOf(root);
  return true;
}

bool CRegistry::Update(RegRoot root, const std::function<bool(CRegHive&)>& change) {
  OSTREL::Process::CLock guard(mutex_);
  CFolders::CreatePrivateFolder(folder_);
  CFileLock lock(LockFile(root), CFileLock::Mode::kExclusive);
  if (!lock.IsLocked()) {
    LogWarning(LockFile(root).string(), ": cannot lock; change not saved");
    return false;
  }
  LoadLocked(root);  // another process may have written since our last read
  if (!change(*hives_[Index(root)].hive)) return false;
  return SaveLocked(root);
}

bool CRegistry::CreateKey(RegRoot root, std::string_view keyPath) {
  if (!IsValidKeyPath(keyPath)) return false;
  if (KeyExists(root, keyPath)) return true;
  Update(root, [&](CRegHive& hive) {
    hive.CreateKey(keyPath);
    return true;
  });
  return KeyExists(root, keyPath);
}

bool CRegistry::KeyExists(RegRoot root, std::string_view keyPath) {
  OSTREL::Process::CLock guard(mutex_);
  return Current(root).FindKey(keyPath) != nullptr;
}

bool CRegistry::DeleteKey(RegRoot root, std::string_view keyPath) {
  return Update(root, [&](CRegHive& hive) { return hive.DeleteKey(keyPath); });
}

std::optional<std::vector<std::string>> CRegistry::EnumSubKeys(RegRoot root,
                                                               std::string_view keyPath) {
  OSTREL::Process::CLock guard(mutex_);
  const CRegHiveKey* key = Current(root).FindKey(keyPath);
  if (key == nullptr) return std::nullopt;
  std::vector<std::string> names;
  for (const CRegHiveKey* sub : key->SubKeys()) names.push_back(sub->Name());
  return names;
}

std::optional<std::vector<std::string>> CRegistry::EnumValueNames(RegRoot root,
                                                                  std::string_view keyPath) {
  OSTREL::Process::CLock guard(mutex_);
  const CRegHiveKey* key = Current(root).FindKey(keyPath);
  if (key == nullptr) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& [name, value] : key->Values()) names.push_back(name);
  return names;
}

std::optional<CRegValue> CRegistry::QueryValue(RegRoot root, std::string_view keyPath,
                                               std::string_view name) {
  OSTREL::Process::CLock guard(mutex_);
  const CRegHiveKey* key = Current(root).FindKey(keyPath);
  if (key == nullptr) return std::nullopt;
  const CRegValue* value = key->FindValue(name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

bool CRegistry::SetValue(RegRoot root, std::string_view keyPath, std::string_view name,
                         CRegValue value) {
  if (!IsValidKeyPath(keyPath) || !IsValidName(name)) return false;
  return Update(root, [&](CRegHive& hive) {
    hive.CreateKey(keyPath).SetValue(name, std::move(value));
    return true;
  });
}

bool CRegistry::DeleteValue(RegRoot root, std::string_view keyPath, std::string_view name) {
  return Update(root, [&](CRegHive& hive) {
    CRegHiveKey* key = hive.FindKey(keyPath);
    return key != nullptr && key->DeleteValue(name);
  });
}

}  // namespace OSTREL::Platform
