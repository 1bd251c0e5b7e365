#include "framework/PathMonitor.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>

#include "framework/Log.h"
#include "framework/TickSource.h"

namespace OSTREL::File {
namespace {

constexpr size_t kEventBufferSize = 64 * 1024;

}  // namespace

CPathMonitor::~CPathMonitor() { Stop(); }

bool CPathMonitor::Start() {
  if (IsRunning()) return true;
  stopEvent_.ResetEvent();
  return CThreadBase::Start();
}

bool CPathMonitor::Stop() {
  stopEvent_.Set();
  return CThreadBase::Stop();
}

uint32_t CPathMonitor::InotifyMask() const {
  uint32_t mask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
  if (filter_ & (kChangeFileName | kChangeDirName))
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  if (filter_ & (kChangeAttributes | kChangeLastWrite)) mask |= IN_ATTRIB;
  if (filter_ & (kChangeSize | kChangeLastWrite)) mask |= IN_CLOSE_WRITE | IN_MODIFY;
  return mask;
}

// The system's per-user limit of watches; raised (doubled) when the process may write it.
static bool RaiseWatchLimit() {
  const char* const kLimitPath = "/proc/sys/fs/inotify/max_user_watches";
  std::ifstream in(kLimitPath);
  uint64_t limit = 0;
  if (!(in >> limit) || limit == 0) return false;
  std::ofstream out(kLimitPath);
  out << limit * 2 << '\n';
  out.flush();
  return static_cast<bool>(out);
}

static uint64_t WatchLimit() {
  std::ifstream in("/proc/sys/fs/inotify/max_user_watches");
  uint64_t limit = 0;
  in >> limit;
  return limit;
}

bool CPathMonitor::AddWatches(const std::filesystem::path& folder) {
  int watch = inotify_add_watch(inotify_, folder.c_str(), InotifyMask());
  if (watch < 0 && errno == ENOSPC && !limitReached_ && RaiseWatchLimit())
    watch = inotify_add_watch(inotify_, folder.c_str(), InotifyMask());
  if (watch < 0) {
    if (errno == ENOSPC && !limitReached_) {
      limitReached_ = true;
      LogWarning("folder monitor: the system limit of ", WatchLimit(),
                 " inotify watches is reached; rescanning ", path_.string(), " every ",
                 kRescanInterval / 1000, " seconds instead");
    }
    return false;
  }
  watches_[watch] = folder;
  if (!watchSubtree_) return true;
  std::error_code error;
  // Symbolic links are not followed: a linked folder's changes are found by the next scan.
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) AddWatches(it->path());
  }
  return true;
}

bool CPathMonitor::DrainEvents() {
  alignas(inotify_event) char buffer[kEventBufferSize];
  bool changed = false;
  for (;;) {
    const ssize_t length = read(inotify_, buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_IGNORED) {
        watches_.erase(event->wd);
        continue;
      }
      changed = true;
      const bool newFolder = (event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO));
      const auto folder = watches_.find(event->wd);
      if (newFolder && watchSubtree_ && folder != watches_.end() && event->len > 0)
        AddWatches(folder->second / event->name);
    }
  }
  return changed;
}

unsigned CPathMonitor::Run() {
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0 || !AddWatches(path_)) {
    LogWarning("folder monitor: cannot watch ", path_.string());
    if (inotify_ >= 0) close(inotify_);
    inotify_ = -1;
    return 1;
  }
  OnWatching();
  uint32_t lastRescan = Process::CTickSource::Now();
  while (!IsStopping() && !stopEvent_.IsSignalled()) {
    pollfd waits[2] = {{inotify_, POLLIN, 0}, {stopEvent_.Fd(), POLLIN, 0}};
    // Folders beyond the watch limit are only seen by periodic rescans.
    int timeout = -1;
    if (limitReached_) {
      const uint32_t passed = Process::CTickSource::Now() - lastRescan;
      timeout = passed >= kRescanInterval ? 0 : static_cast<int>(kRescanInterval - passed);
    }
    const int ready = poll(waits, 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (waits[1].revents != 0) break;
    if (ready == 0) {
      lastRescan = Process::CTickSource::Now();
      ChangeAction();
      continue;
    }
    if (delay_ != 0) Process::WaitForEvent(stopEvent_, delay_);
    if (DrainEvents() && !stopEvent_.IsSignalled()) {
      lastRescan = Process::CTickSource::Now();
      ChangeAction();
    }
  }
  close(inotify_);
  inotify_ = -1;
  watches_.clear();
  limitReached_ = false;
  return 0;
}

}  // namespace OSTREL::File
