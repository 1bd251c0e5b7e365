// The folder tree the page shows: the root "Z2E Vuvirir Adozez" with Incoming, Shared and the
// children the registry adds (each subkey of the root's "Folders" key named by a class
// identifier), and beside it the search-result folder. Reads the registry on each call; any
// thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "shell/DesktopRegistration.h"
#include "shell/ui/FolderColumns.h"

namespace tarn::shell::ui {

inline constexpr std::string_view kIncomingId = "{F5F3D95D-28DC-486C-A3F8-65BF6D5F5DD0}";
inline constexpr std::string_view kSharedId = "{27FAAF95-295F-4617-ACB1-D652B87D9B28}";
inline constexpr std::string_view kRootId = "{FA286CCF-8DEE-44CD-9B0D-4542504FB650}";
inline constexpr std::string_view kSearchResultsId = "{68CE3FF6-8306-4BE3-A4B9-1ED596978079}";

// Incoming, Shared, then the registry's children in the registry's order. Texts are cut to
// 259 characters, as the records always held them.
std::vector<SRootChild> RootChildren(OSTREL::Platform::CRegistry& registry);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of hexadecimal digits in either case.
bool IsClassIdentifier(std::string_view text);

// The folder a page address names ("root", "incoming", "shared", "results"); a child the
// registry adds is shown as an empty folder of its own.
struct SFolderRef {
  EFolder folder = EFolder::kRoot;
  std::string childId;  // a registry child's identifier; empty for the built-in folders
};
std::optional<SFolderRef> ParseFolderName(std::string_view name);

}  // namespace tarn::shell::ui
