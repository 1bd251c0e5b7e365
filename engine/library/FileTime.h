// The attributes of a file on disk as the data files keep them: size, creation (birth) time
// falling back to the change time, and last write time, as FILETIME values (100-ns ticks since
// 1601-01-01 UTC; the conversion lives in platform/FileSystem.h). Read through the current file
// system, so tests may put a fake one under it. Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/FileSystem.h"

namespace P2P::Shared::File {

struct _tagStructFileAttributes {
  uint64_t size = 0;
  int64_t creationTime = 0;
  int64_t lastWriteTime = 0;
};

using OSTREL::File::FileTimeFromUnix;
using OSTREL::File::FileTimeNow;

// Follows symbolic links; empty when the path is missing or not a regular file.
std::optional<_tagStructFileAttributes> ReadFileAttributes(const std::filesystem::path& path);

}  // namespace P2P::Shared::File
