#include "platform/Folders.h"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <system_error>

namespace OSTREL::Platform {
namespace {

std::atomic<bool> systemServiceMode{false};

// XDG says relative values are to be ignored.
std::filesystem::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::filesystem::path HomeFolder() {
  if (auto home = AbsoluteFromEnvironment("HOME"); !home.empty()) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return "/tmp";
}

}  // namespace

void CFolders::SetSystemServiceMode(bool enabled) { systemServiceMode.store(enabled); }
bool CFolders::IsSystemServiceMode() { return systemServiceMode.load(); }

std::filesystem::path CFolders::BaseDataFolder() {
  if (IsSystemServiceMode()) return "/var/lib";
  return UserDataHome();
}

std::filesystem::path CFolders::UserDataHome() {
  if (auto data = AbsoluteFromEnvironment("XDG_DATA_HOME"); !data.empty()) return data;
  return HomeFolder() / ".local" / "share";
}

std::filesystem::path CFolders::UserConfigHome() {
  if (auto config = AbsoluteFromEnvironment("XDG_CONFIG_HOME"); !config.empty()) return config;
  return HomeFolder() / ".config";
}

std::filesystem::path CFolders::RegistryFolder() {
  if (auto explicitFolder = AbsoluteFromEnvironment("TARN_CONFIG_DIR"); !explicitFolder.empty())
    return explicitFolder;
  if (IsSystemServiceMode()) return "/var/lib/tarn";
  return UserConfigHome() / "tarn";
}

bool CFolders::CreateFolderTree(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

bool CFolders::CreatePrivateFolder(const std::filesystem::path& folder) {
  if (!CreateFolderTree(folder)) return false;
  std::error_code error;
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace, error);
  return !error;
}

}  // namespace OSTREL::Platform
