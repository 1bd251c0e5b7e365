// Where the programs keep their files: the base data folder (the stand-in for the common
// program-files folder), the registry folder, and the process-wide switch between a user
// instance and the system service. Set the mode at start-up, before other threads run;
// the lookups are then safe from any thread.
#pragma once

#include <filesystem>

namespace OSTREL::Platform {

class CFolders {
 public:
  static void SetSystemServiceMode(bool enabled);
  static bool IsSystemServiceMode();

  // $XDG_DATA_HOME (default ~/.local/share) for a user instance, /var/lib for the service.
  static std::filesystem::path BaseDataFolder();
  // $TARN_CONFIG_DIR, else $XDG_CONFIG_HOME/tarn (default ~/.config/tarn) for a user
  // instance, /var/lib/tarn for the service.
  static std::filesystem::path RegistryFolder();
  // The user's $XDG_DATA_HOME (default ~/.local/share) and $XDG_CONFIG_HOME (default
  // ~/.config), whatever the mode: where desktop and activation files go.
  static std::filesystem::path UserDataHome();
  static std::filesystem::path UserConfigHome();
  // Creates the folder with all missing parents; true when it exists afterwards.
  static bool CreateFolderTree(const std::filesystem::path& folder);
  // The same for a folder of configuration or state, which is then the owner's alone
  // (0700), also when it existed before with wider rights.
  static bool CreatePrivateFolder(const std::filesystem::path& folder);
};

}  // namespace OSTREL::Platform
