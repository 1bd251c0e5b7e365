#include "service/automation/DownloadFolders.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "engine/base/ClientConfig.h"

namespace OSTREL::COM {
namespace {

namespace fs = std::filesystem;

// The path with its existing part's links resolved and "." and ".." gone; empty for a
// relative one.
fs::path Resolved(const std::string& text) {
  const fs::path path(text);
  if (text.empty() || !path.is_absolute()) return {};
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error).lexically_normal();
  if (error) return {};
  if (!resolved.has_filename() && resolved != resolved.root_path())
    resolved = resolved.parent_path();
  return resolved;
}

bool IsWithin(const fs::path& folder, const fs::path& root) {
  auto part = folder.begin();
  for (const auto& rootPart : root) {
    if (part == folder.end() || *part != rootPart) return false;
    ++part;
  }
  return true;
}

// Whether the folder can be made when the download completes: its nearest existing part is a
// folder this process may write into.
bool CanMakeFolder(const fs::path& folder) {
  std::error_code error;
  fs::path existing = folder;
  while (!fs::exists(existing, error)) {
    if (existing == existing.parent_path()) return false;
    existing = existing.parent_path();
  }
  return fs::is_directory(existing, error) && ::access(existing.c_str(), W_OK | X_OK) == 0;
}

std::vector<fs::path> AllowedRoots(const P2P::_tagStructClientConfig& config) {
  std::vector<fs::path> roots;
  std::vector<std::string> texts{config.sharedPath, config.tempPath};
  texts.insert(texts.end(), config.downloadFolders.begin(), config.downloadFolders.end());
  for (const std::string& text : texts)
    if (fs::path root = Resolved(text); !root.empty()) roots.push_back(std::move(root));
  return roots;
}

}  // namespace

HRESULT ApproveDownloadFolder(const P2P::_tagStructClientConfig& config,
                              P2P::Shared::_tagStructSharedFile& record) {
  const std::string& requested = record.info.targetFolder;
  if (requested.empty()) return S_OK;
  const fs::path folder = Resolved(requested);
  if (folder.empty()) return E_INVALIDARG;
  bool allowed = false;
  for (const fs::path& root : AllowedRoots(config)) allowed = allowed || IsWithin(folder, root);
  if (!allowed) return E_ACCESSDENIED;
  // Checked now, so a folder that cannot be used fails the request instead of the completion;
  // made at the completion, so that a refused request leaves nothing behind.
  if (!CanMakeFolder(folder)) return E_INVALIDARG;
  record.info.targetFolder = folder.string();
  return S_OK;
}

}  // namespace OSTREL::COM
