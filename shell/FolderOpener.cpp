#include "shell/FolderOpener.h"

#include <cstdio>
#include <vector>

#include "platform/ProgramRunner.h"

namespace tarn::shell {

std::string FileUri(const std::filesystem::path& path) {
  std::string uri = "file://";
  for (const unsigned char c : path.string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      uri += escape;
    }
  }
  return uri;
}

bool OpenFolder(sdbus::IConnection& connection, const std::filesystem::path& folder) {
  try {
    auto manager = sdbus::createProxy(connection, "org.freedesktop.FileManager1",
                                      "/org/freedesktop/FileManager1");
    manager->callMethod("ShowFolders")
        .onInterface("org.freedesktop.FileManager1")
        .withArguments(std::vector<std::string>{FileUri(folder)}, std::string());
    return true;
  } catch (const sdbus::Error&) {
    // No file manager offers the interface.
  }
  return OSTREL::Platform::StartProgram({"xdg-open", folder.string()});
}

}  // namespace tarn::shell
