// FILETIME values as the data files keep them (100-ns ticks since 1601-01-01 UTC) and the
// attributes of a file on disk in that form: size, creation (birth) time falling back to the
// change time, and last write time. Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace P2P::Shared::File {

struct _tagStructFileAttributes {
  uint64_t size = 0;
  int64_t creationTime = 0;
  int64_t lastWriteTime = 0;
};

int64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);
int64_t FileTimeNow();

// Follows symbolic links; empty when the path is missing or not a regular file.
std::optional<_tagStructFileAttributes> ReadFileAttributes(const std::filesystem::path& path);

}  // namespace P2P::Shared::File
