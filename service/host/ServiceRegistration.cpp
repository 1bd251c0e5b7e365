#include "service/host/ServiceRegistration.h"

#include <cstdlib>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/Folders.h"
#include "platform/ProgramRunner.h"
#include "service/host/ClassIdentities.h"

namespace OSTREL::Process {
namespace {

using Platform::CRegHive;
using Platform::CRegValue;
using Platform::RegRoot;

std::string AppIdKey() { return "AppID\\" + std::string(kAppId); }
std::string ClsidKey(const SClassIdentity& c) { return "CLSID\\" + std::string(c.clsid); }
std::string ProgId(const SClassIdentity& c) { return std::string(kProgIdPrefix) + std::string(c.name); }
std::string VersionedProgId(const SClassIdentity& c) { return ProgId(c) + ".1"; }
std::string ClassTitle(const SClassIdentity& c) { return std::string(c.name) + " Class"; }

void WriteClass(CRegHive& hive, const SClassIdentity& c, const std::string& modulePath) {
  const std::string title = ClassTitle(c);
  const std::string clsid(c.clsid);

  auto& versioned = hive.CreateKey(VersionedProgId(c));
  versioned.SetValue("", CRegValue::String(title));
  versioned.CreateSubKey("CLSID").SetValue("", CRegValue::String(clsid));

  auto& independent = hive.CreateKey(ProgId(c));
  independent.SetValue("", CRegValue::String(title));
  independent.CreateSubKey("CLSID").SetValue("", CRegValue::String(clsid));
  independent.CreateSubKey("CurVer").SetValue("", CRegValue::String(VersionedProgId(c)));

  auto& classKey = hive.CreateKey(ClsidKey(c));
  classKey.SetValue("", CRegValue::String(title));
  classKey.SetValue("AppID", CRegValue::String(std::string(kAppId)));
  classKey.CreateSubKey("ProgID").SetValue("", CRegValue::String(VersionedProgId(c)));
  classKey.CreateSubKey("VersionIndependentProgID").SetValue("", CRegValue::String(ProgId(c)));
  classKey.CreateSubKey("Programmable");
  classKey.CreateSubKey("LocalServer32").SetValue("", CRegValue::String(modulePath));
  classKey.CreateSubKey("TypeLib").SetValue("", CRegValue::String(std::string(kTypeLibId)));
}

bool RemoveFile(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::remove(file, error);
  return !error;
}

// Only when the user's manager runs (its private socket is there); quietly otherwise.
void ReloadUserManager() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  if (runtime == nullptr ||
      !std::filesystem::exists(std::filesystem::path(runtime) / "systemd/private", error))
    return;
  Platform::RunProgram({"systemctl", "--user", "daemon-reload"});
}

}  // namespace

SRegistrationPaths SRegistrationPaths::FromEnvironment() {
  SRegistrationPaths paths;
  std::error_code error;
  paths.modulePath = std::filesystem::read_symlink("/proc/self/exe", error);
  paths.dataHome = Platform::CFolders::UserDataHome();
  paths.configHome = Platform::CFolders::UserConfigHome();
  paths.appDataFolder = Platform::CFolders::BaseDataFolder() / "Ostrel";
  paths.registryFolder = Platform::CFolders::RegistryFolder();
  return paths;
}

std::filesystem::path SRegistrationPaths::ActivationFile() const {
  return dataHome / "dbus-1/services" / (std::string(kBusName) + ".service");
}

std::filesystem::path SRegistrationPaths::UnitFile() const {
  return configHome / "systemd/user" / std::string(kSystemdUnitName);
}

std::filesystem::path SRegistrationPaths::UnitWantedLink() const {
  return configHome / "systemd/user/default.target.wants" / std::string(kSystemdUnitName);
}

CServiceRegistration::CServiceRegistration(Platform::CRegistry& registry, SRegistrationPaths paths)
    : registry_(registry), paths_(std::move(paths)) {}

bool CServiceRegistration::Register(bool asService) {
  Unregister();  // a failure here must not stop the registration
  bool ok = WriteClassKeys(asService);
  ok = WriteTextFile(paths_.ActivationFile(), ActivationFileText(asService)) && ok;
  if (asService) ok = WriteTextFile(paths_.UnitFile(), UnitFileText()) && EnableUnit() && ok;
  return ok;
}

bool CServiceRegistration::Unregister() {
  bool ok = RemoveClassKeys();
  ok = RemoveFile(paths_.ActivationFile()) && ok;
  ok = DisableUnit() && ok;
  ok = RemoveFile(paths_.UnitFile()) && ok;
  return ok;
}

// The unit's [Install] section wants it by default.target: the link `systemctl --user enable`
// would make, made here so that it works without a running user manager too; a manager that
// runs is told to read its units again.
bool CServiceRegistration::EnableUnit() const {
  const auto link = paths_.UnitWantedLink();
  std::error_code error;
  std::filesystem::remove(link, error);
  if (!Platform::CFolders::CreateFolderTree(link.parent_path())) return false;
  std::filesystem::create_symlink(std::filesystem::path("..") / std::string(kSystemdUnitName),
                                  link, error);
  ReloadUserManager();
  return !error;
}

bool CServiceRegistration::DisableUnit() const {
  const auto link = paths_.UnitWantedLink();
  const bool ok = RemoveFile(link);
  std::error_code error;
  if (std::filesystem::is_empty(link.parent_path(), error))
    std::filesystem::remove(link.parent_path(), error);
  ReloadUserManager();
  return ok;
}

bool CServiceRegistration::WriteClassKeys(bool asService) {
  const std::string modulePath = paths_.modulePath.string();
  return registry_.Update(RegRoot::kClassesRoot, [&](CRegHive& hive) {
    auto& appId = hive.CreateKey(AppIdKey());
    appId.SetValue("", CRegValue::String(std::string(kAppIdName)));
    appId.DeleteValue("LocalService");
    if (asService) {
      appId.SetValue("LocalService", CRegValue::String(std::string(kServiceName)));
      appId.SetValue("ServiceParameters", CRegValue::String("-Service"));
    }
    hive.CreateKey("AppID\\" + std::string(kExecutableAppIdKey))
        .SetValue("AppID", CRegValue::String(std::string(kAppId)));
    for (const SClassIdentity& c : kClasses) WriteClass(hive, c, modulePath);
    return true;
  });
}

bool CServiceRegistration::RemoveClassKeys() {
  registry_.Update(RegRoot::kClassesRoot, [&](CRegHive& hive) {
    bool changed = hive.DeleteKey(AppIdKey());
    changed = hive.DeleteKey("AppID\\" + std::string(kExecutableAppIdKey)) || changed;
    for (const SClassIdentity& c : kClasses) {
      changed = hive.DeleteKey(VersionedProgId(c)) || changed;
      changed = hive.DeleteKey(ProgId(c)) || changed;
      changed = hive.DeleteKey(ClsidKey(c)) || changed;
    }
    return changed;
  });
  return !registry_.KeyExists(RegRoot::kClassesRoot, AppIdKey());
}

bool CServiceRegistration::WriteTextFile(const std::filesystem::path& file,
                                         const std::string& text) const {
  return Platform::CFolders::CreateFolderTree(file.parent_path()) &&
         File::WriteFileAtomically(file, text);
}

std::string CServiceRegistration::ActivationFileText(bool asService) const {
  std::string text = "[D-BUS Service]\nName=" + std::string(kBusName) +
                     "\nExec=" + paths_.modulePath.string() + "\n";
  if (asService) text += "SystemdService=" + std::string(kSystemdUnitName) + "\n";
  return text;
}

std::string CServiceRegistration::UnitFileText() const {
  // "-" before a writable path: a folder that does not exist yet does not fail the start.
  return "[Unit]\n"
         "Description=" + std::string(kServiceDescription) + "\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "BusName=" + std::string(kBusName) + "\n"
         "ExecStart=" + paths_.modulePath.string() + "\n"
         "Restart=on-failure\n"
         "NoNewPrivileges=yes\n"
         "ProtectSystem=strict\n"
         "ReadWritePaths=-" + paths_.appDataFolder.string() + " -" +
         paths_.registryFolder.string() + "\n"
         "PrivateTmp=yes\n"
         "\n"
         "[Install]\n"
         "WantedBy=default.target\n";
}

}  // namespace OSTREL::Process
