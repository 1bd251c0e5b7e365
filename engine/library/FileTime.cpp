#include "engine/library/FileTime.h"

namespace P2P::Shared::File {

std::optional<_tagStructFileAttributes> ReadFileAttributes(const std::filesystem::path& path) {
  const auto stat = OSTREL::File::FileSystem().Stat(path);
  if (!stat || !stat->isRegular) return std::nullopt;
  _tagStructFileAttributes attributes;
  attributes.size = stat->size;
  attributes.creationTime = stat->creationTime;
  attributes.lastWriteTime = stat->lastWriteTime;
  return attributes;
}

}  // namespace P2P::Shared::File
