#include "engine/library/SharedFolderScan.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/library/SharedFileRecord.h"
#include "engine/protocol/Limits.h"

namespace P2P::Shared::File {
namespace {

namespace fs = std::filesystem;

class CFolderWalk {
 public:
  CFolderWalk(const std::function<bool()>& stopping,
              const std::function<void(const fs::path&)>& share)
      : stopping_(stopping), share_(share) {}

  bool Walk(const fs::path& folder, int depth) {
    if (depth > Protocol::kMaxSharedFolderDepth || !FirstVisit(folder)) return true;
    for (const fs::directory_entry& entry : SortedEntries(folder)) {
      // Asking costs a system call: once every few dozen entries is soon enough.
      if ((++visits_ % 64) == 0 && stopping_ && stopping_()) return false;
      if (!Visit(entry, depth)) return false;
    }
    return true;
  }

 private:
  bool Visit(const fs::directory_entry& listed, int depth) {
    std::error_code error;
    const fs::path& entry = listed.path();
    // The folder listing tells plain files and folders apart without a stat of its own; the
    // one stat per file is the caller's.
    if (!listed.is_symlink(error) && !error) {
      if (listed.is_regular_file(error)) {
        if (!IsThumbnailCache(entry)) share_(entry);
        return true;
      }
      if (listed.is_directory(error)) return Walk(entry, depth + 1);
    }
    // Follows links: a broken link has no status and is skipped.
    const fs::file_status target = fs::status(entry, error);
    if (error) return true;
    if (fs::is_directory(target)) return Walk(entry, depth + 1);
    if (!fs::is_regular_file(target) || IsThumbnailCache(entry)) return true;
    if (fs::is_symlink(fs::symlink_status(entry, error))) {
      const fs::path resolved = fs::canonical(entry, error);
      if (error || IsThumbnailCache(resolved)) return true;
    }
    share_(entry);
    return true;
  }

  bool FirstVisit(const fs::path& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return false;
    return visited_.insert({info.st_dev, info.st_ino}).second;
  }

  static std::vector<fs::directory_entry> SortedEntries(const fs::path& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
      entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) {
                return a.path() < b.path();
              });
    return entries;
  }

  const std::function<bool()>& stopping_;
  const std::function<void(const fs::path&)>& share_;
  std::set<std::pair<dev_t, ino_t>> visited_;
  uint32_t visits_ = 0;
};

}  // namespace

bool ScanSharedFolder(const fs::path& folder, const std::function<bool()>& stopping,
                      const std::function<void(const fs::path&)>& share) {
  CFolderWalk walk(stopping, share);
  return walk.Walk(folder, 0);
}

bool IsThumbnailCache(const fs::path& path) {
  return FileNameEquals(path.filename().string(), "thumbs.db");
}

namespace {

// An absolute path without empty, "." or ".." components and without a trailing separator:
// what the engine itself writes, which can be compared as text.
bool IsPlainAbsolute(std::string_view path) {
  if (path.empty() || path[0] != '/' || path.back() == '/') return false;
  for (size_t at = 0; at < path.size();) {
    const size_t next = std::min(path.find('/', at + 1), path.size());
    const std::string_view component = path.substr(at + 1, next - at - 1);
    if (component.empty() || component == "." || component == "..") return false;
    at = next;
  }
  return true;
}

}  // namespace

bool IsInsideFolder(const fs::path& path, const fs::path& folder) {
  // Loading a library checks every entry: the common case needs no path parsing.
  const std::string_view inText = path.native(), outText = folder.native();
  if (IsPlainAbsolute(inText) && IsPlainAbsolute(outText))
    return inText.size() > outText.size() + 1 && inText.substr(0, outText.size()) == outText &&
           inText[outText.size()] == '/';
  const fs::path inner = path.lexically_normal();
  const fs::path outer = folder.lexically_normal();
  if (!inner.is_absolute() || outer.empty()) return false;
  auto step = inner.begin();
  for (auto it = outer.begin(); it != outer.end(); ++it, ++step) {
    if (it->empty() && std::next(it) == outer.end()) break;  // trailing separator
    if (step == inner.end() || *step != *it) return false;
  }
  for (; step != inner.end(); ++step)
    if (*step == "..") return false;
  return inner != outer;
}

}  // namespace P2P::Shared::File
