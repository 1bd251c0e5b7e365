#include "engine/files/FileTime.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>

namespace P2P::Shared::File {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600;

}  // namespace

int64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  return (seconds + kEpochDelta) * 10000000 + nanoseconds / 100;
}

int64_t FileTimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
  return FileTimeFromUnix(ticks / 1000000000, static_cast<uint32_t>(ticks % 1000000000));
}

std::optional<_tagStructFileAttributes> ReadFileAttributes(const std::filesystem::path& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
    return std::nullopt;
  if (!S_ISREG(info.stx_mode)) return std::nullopt;
  _tagStructFileAttributes attributes;
  attributes.size = info.stx_size;
  const bool hasBirth = (info.stx_mask & STATX_BTIME) != 0;
  const struct statx_timestamp& created = hasBirth ? info.stx_btime : info.stx_ctime;
  attributes.creationTime = FileTimeFromUnix(created.tv_sec, created.tv_nsec);
  attributes.lastWriteTime = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
  return attributes;
}

}  // namespace P2P::Shared::File
