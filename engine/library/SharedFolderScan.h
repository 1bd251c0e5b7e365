// Walks the shared folder tree and names every file to share. Symbolic links stand in for
// shortcuts: a link to a folder is walked like a folder, a link to a file is shared under the
// link's path, a broken link shares nothing. Each folder is walked once however many links
// lead to it, so link cycles end. "thumbs.db" (any case), and anything that is not a regular
// file, is skipped. Runs on the caller's thread.
#pragma once

#include <filesystem>
#include <functional>

namespace P2P::Shared::File {

// Calls `share` for every file to share; checks `stopping` before each entry and returns false
// when it stopped the walk.
bool ScanSharedFolder(const std::filesystem::path& folder, const std::function<bool()>& stopping,
                      const std::function<void(const std::filesystem::path&)>& share);

bool IsThumbnailCache(const std::filesystem::path& path);

// `path` lies inside `folder` (lexically, after removing "." and ".." steps).
bool IsInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace P2P::Shared::File
