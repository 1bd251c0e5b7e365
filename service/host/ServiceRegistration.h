// Self-registration of tarnsvc for one user: the class keys in the classes hive of the file
// registry (AppID, ProgIDs, CLSIDs pointing at this executable), the D-Bus activation file
// that lets the session bus start the program on demand, and, when registered as a service,
// the systemd user unit the activation file then names, enabled so that the daemon starts at
// login. Unregistration removes all of it (the unit disabled first) and keeps only the shared
// parent keys `AppID` and `CLSID`. One caller at a time per user.
#pragma once

#include <filesystem>
#include <string>

#include "platform/Registry.h"

namespace OSTREL::Process {

struct SRegistrationPaths {
  std::filesystem::path modulePath;     // the executable the entries point at
  std::filesystem::path dataHome;       // $XDG_DATA_HOME
  std::filesystem::path configHome;     // $XDG_CONFIG_HOME
  std::filesystem::path appDataFolder;  // the engine's data folder, writable for the unit
  std::filesystem::path registryFolder; // the registry files, writable for the unit

  // This process's executable and the XDG folders of the environment.
  static SRegistrationPaths FromEnvironment();

  std::filesystem::path ActivationFile() const;
  std::filesystem::path UnitFile() const;
  // The link that enables the unit (what `systemctl --user enable` makes for WantedBy=).
  std::filesystem::path UnitWantedLink() const;
};

class CServiceRegistration {
 public:
  CServiceRegistration(Platform::CRegistry& registry, SRegistrationPaths paths);

  // Removes an earlier registration first, so a moved executable is registered afresh.
  bool Register(bool asService);
  // Removes what it can; true when nothing of the registration is left.
  bool Unregister();

  // What the registration files say; also used by the system-wide install step.
  std::string ActivationFileText(bool asService) const;
  std::string UnitFileText() const;

 private:
  bool WriteClassKeys(bool asService);
  bool RemoveClassKeys();
  bool WriteTextFile(const std::filesystem::path& file, const std::string& text) const;
  bool EnableUnit() const;
  bool DisableUnit() const;

  Platform::CRegistry& registry_;
  SRegistrationPaths paths_;
};

}  // namespace OSTREL::Process
