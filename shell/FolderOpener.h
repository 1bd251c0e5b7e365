// Shows a folder to the user: through the file manager's freedesktop interface
// (org.freedesktop.FileManager1.ShowFolders) when one offers it on the session bus, else with
// xdg-open. Call on the thread that owns the connection.
#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <filesystem>
#include <string>

namespace tarn::shell {

// "file://" and the path with every byte outside the URI's unreserved set escaped.
std::string FileUri(const std::filesystem::path& path);

// False when neither way could be started.
bool OpenFolder(sdbus::IConnection& connection, const std::filesystem::path& folder);

}  // namespace tarn::shell
