#include "shell/DesktopRegistration.h"

#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/Folders.h"
#include "platform/ProgramRunner.h"

namespace tarn::shell {
namespace {

using OSTREL::Platform::CFolders;
using OSTREL::Platform::CRegHive;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;

constexpr size_t kMaxSmallFile = 1 << 20;
constexpr const char* kSchemes[] = {"ed2k", "p2p", "tarn"};

std::string ReadText(const std::filesystem::path& file) {
  return OSTREL::File::ReadWholeFile(file, kMaxSmallFile).value_or(std::string());
}

bool Exists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

void RemoveFile(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
}

// Registry paths are kept in the desktop entry with '/' between their components.
std::string Slashed(std::string_view keyPath) {
  std::string text(keyPath);
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

}  // namespace

SShellPaths SShellPaths::FromEnvironment() {
  SShellPaths paths;
  std::error_code error;
  paths.program = std::filesystem::read_symlink("/proc/self/exe", error);
  paths.dataHome = CFolders::UserDataHome();
  paths.configHome = CFolders::UserConfigHome();
  return paths;
}

CDesktopRegistration::CDesktopRegistration(OSTREL::Platform::CRegistry& registry, SShellPaths paths)
    : registry_(registry), paths_(std::move(paths)) {}

bool CDesktopRegistration::Register() {
  // Registering again keeps the record of the first registration: what it found is still
  // what unregistration has to put back.
  const auto earlier = ReadRegistrationRecord(ReadText(paths_.DesktopFile()));
  const SRegistrationRecord record = earlier ? *earlier : Survey();
  bool ok = CFolders::CreateFolderTree(paths_.Applications()) &&
            OSTREL::File::WriteFileAtomically(paths_.DesktopFile(),
                                              DesktopEntryText(paths_.program, record));
  ok = SetDefaults() && ok;
  UpdateDesktopDatabase();
  return WriteRegistryKeys() && ok;
}

bool CDesktopRegistration::Unregister() {
  auto record = ReadRegistrationRecord(ReadText(paths_.DesktopFile()));
  if (!record) {
    // No record (the entry was deleted by hand): take out our entries, keep every section.
    record.emplace();
    record->mimeApps.sections = {std::string(kDefaultApplications),
                                 std::string(kAddedAssociations)};
  }
  bool ok = RestoreDefaults(*record);
  const bool hadEntry = Exists(paths_.DesktopFile());
  RemoveFile(paths_.DesktopFile());
  ok = !Exists(paths_.DesktopFile()) && ok;
  if (hadEntry) UpdateDesktopDatabase();
  // A cache that registration brought into being goes again (the desktop scans without one).
  if (record->createdMimeCache) RemoveFile(paths_.MimeCache());
  if (record->createdApplicationsFolder) {
    std::error_code error;
    if (std::filesystem::is_empty(paths_.Applications(), error))
      std::filesystem::remove(paths_.Applications(), error);
  }
  RemoveRegistryKeys(*record);
  return ok;
}

SRegistrationRecord CDesktopRegistration::Survey() {
  SRegistrationRecord record;
  record.createdApplicationsFolder = !Exists(paths_.Applications());
  record.createdMimeApps = !Exists(paths_.MimeApps());
  record.createdMimeCache = !Exists(paths_.MimeCache());
  record.mimeApps = ReadMimeAppsState(ReadText(paths_.MimeApps()), LinkMimeTypes());
  std::string path;
  for (const std::string_view part : {"Software", "Ostrel", "Z2E Vuvirir Adozez", "Folders"}) {
    path += (path.empty() ? "" : "\\") + std::string(part);
    if (!registry_.KeyExists(RegRoot::kCurrentUser, path)) {
      record.createdRegistryKey = Slashed(path);
      break;
    }
  }
  return record;
}

bool CDesktopRegistration::SetDefaults() {
  if (OSTREL::Platform::FindProgram("xdg-mime")) {
    std::vector<std::string> command{"xdg-mime", "default", std::string(kDesktopFileName)};
    command.insert(command.end(), LinkMimeTypes().begin(), LinkMimeTypes().end());
    if (OSTREL::Platform::RunProgram(command, ToolEnvironment()) == 0) return true;
  }
  const std::string text = ReadText(paths_.MimeApps());
  const std::string changed = SetDefaultApplications(text, kDesktopFileName, LinkMimeTypes());
  return changed == text || (CFolders::CreateFolderTree(paths_.configHome) &&
                             OSTREL::File::WriteFileAtomically(paths_.MimeApps(), changed));
}

bool CDesktopRegistration::RestoreDefaults(const SRegistrationRecord& record) {
  if (!Exists(paths_.MimeApps())) return true;
  const std::string text = ReadText(paths_.MimeApps());
  const std::string restored =
      RestoreMimeApps(text, kDesktopFileName, LinkMimeTypes(), record.mimeApps);
  if (record.createdMimeApps && IsEmptyMimeApps(restored)) {
    RemoveFile(paths_.MimeApps());
    return !Exists(paths_.MimeApps());
  }
  return restored == text || OSTREL::File::WriteFileAtomically(paths_.MimeApps(), restored);
}

// The desktop programs work on the folders this registration works on.
OSTREL::Platform::ProgramEnvironment CDesktopRegistration::ToolEnvironment() const {
  return {{"XDG_DATA_HOME", paths_.dataHome.string()},
          {"XDG_CONFIG_HOME", paths_.configHome.string()}};
}

void CDesktopRegistration::UpdateDesktopDatabase() const {
  if (OSTREL::Platform::FindProgram("update-desktop-database"))
    OSTREL::Platform::RunProgram({"update-desktop-database", "-q", paths_.Applications().string()},
                                 ToolEnvironment());
}

bool CDesktopRegistration::WriteRegistryKeys() {
  const std::string program = paths_.program.string();
  const bool classes = registry_.Update(RegRoot::kClassesRoot, [&](CRegHive& hive) {
    for (const char* scheme : kSchemes) {
      auto& key = hive.CreateKey(scheme);
      key.SetValue("", CRegValue::String("URL:" + std::string(scheme) + " Protocol"));
      key.SetValue("URL Protocol", CRegValue::String(""));
      hive.CreateKey(std::string(scheme) + "\\DefaultIcon")
          .SetValue("", CRegValue::String(program + ",-202"));
      hive.CreateKey(std::string(scheme) + "\\shell\\open\\command")
          .SetValue("", CRegValue::String("\"" + program + "\" ProtocolHandler %L"));
    }
    return true;
  });
  const bool folders = registry_.CreateKey(RegRoot::kCurrentUser, kFoldersKey);
  return (classes || registry_.KeyExists(RegRoot::kClassesRoot, "ed2k")) && folders;
}

void CDesktopRegistration::RemoveRegistryKeys(const SRegistrationRecord& record) {
  registry_.Update(RegRoot::kClassesRoot, [&](CRegHive& hive) {
    bool changed = false;
    for (const char* scheme : kSchemes) changed = hive.DeleteKey(scheme) || changed;
    return changed;
  });
  if (record.createdRegistryKey.empty()) return;
  // Up from the folders key, every key that holds nothing, as far as registration created it.
  registry_.Update(RegRoot::kCurrentUser, [&](CRegHive& hive) {
    bool changed = false;
    std::string path(kFoldersKey);
    while (!path.empty()) {
      const auto* key = hive.FindKey(path);
      if (key == nullptr || !key->SubKeys().empty() || !key->Values().empty()) break;
      changed = hive.DeleteKey(path) || changed;
      if (Slashed(path) == record.createdRegistryKey) break;
      const size_t separator = path.rfind('\\');
      path = separator == std::string::npos ? std::string() : path.substr(0, separator);
    }
    return changed;
  });
}

}  // namespace tarn::shell
