// Registration of tarnshell with the freedesktop stack for one user: its desktop entry under
// $XDG_DATA_HOME/applications, the link types' defaults in $XDG_CONFIG_HOME/mimeapps.list
// (through xdg-mime when it is installed, else by editing the file), the desktop database,
// and the registry keys that still mean something here (the link protocols in the classes
// hive, the key for further root folders). Unregistration removes exactly that, and puts back
// what registration replaced. Both are idempotent. One caller at a time per user.
#pragma once

#include <filesystem>

#include "platform/ProgramRunner.h"
#include "platform/Registry.h"
#include "shell/DesktopEntry.h"

namespace tarn::shell {

struct SShellPaths {
  std::filesystem::path program;     // the executable the desktop entry starts
  std::filesystem::path dataHome;    // $XDG_DATA_HOME
  std::filesystem::path configHome;  // $XDG_CONFIG_HOME

  static SShellPaths FromEnvironment();

  std::filesystem::path Applications() const { return dataHome / "applications"; }
  std::filesystem::path DesktopFile() const { return Applications() / kDesktopFileName; }
  std::filesystem::path MimeCache() const { return Applications() / "mimeinfo.cache"; }
  std::filesystem::path MimeApps() const { return configHome / "mimeapps.list"; }
};

// The shell's own settings key and the key of further root folders below it.
inline constexpr std::string_view kShellKey = "Software\\Ostrel\\Z2E Vuvirir Adozez";
inline constexpr std::string_view kFoldersKey = "Software\\Ostrel\\Z2E Vuvirir Adozez\\Folders";

class CDesktopRegistration {
 public:
  CDesktopRegistration(OSTREL::Platform::CRegistry& registry, SShellPaths paths);

  // False when a step failed (the steps after it still run).
  bool Register();
  bool Unregister();

 private:
  SRegistrationRecord Survey();
  bool SetDefaults();
  bool RestoreDefaults(const SRegistrationRecord& record);
  OSTREL::Platform::ProgramEnvironment ToolEnvironment() const;
  void UpdateDesktopDatabase() const;
  bool WriteRegistryKeys();
  void RemoveRegistryKeys(const SRegistrationRecord& record);

  OSTREL::Platform::CRegistry& registry_;
  SShellPaths paths_;
};

}  // namespace tarn::shell
