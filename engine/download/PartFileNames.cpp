#include "engine/download/PartFileNames.h"

#include <cstdio>

#include "engine/library/SharedFileRecord.h"
#include "engine/protocol/Limits.h"
#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {
namespace {

bool Exists(const std::filesystem::path& path) {
  std::error_code error;
  // A dangling link still takes the name.
  return std::filesystem::symlink_status(path, error).type() !=
             std::filesystem::file_type::not_found ||
         OSTREL::File::FileSystem().Stat(path).has_value();
}

}  // namespace

SPartFilePaths PartFilePaths(const std::filesystem::path& folder, uint32_t index) {
  char stem[16];
  std::snprintf(stem, sizeof stem, "%05u", index);
  return {folder / (std::string(stem) + std::string(kDataSuffix)),
          folder / (std::string(stem) + std::string(kMetadataSuffix)),
          folder / (std::string(stem) + std::string(kHashesSuffix))};
}

std::optional<uint32_t> FreePartFileIndex(const std::filesystem::path& folder) {
  for (uint32_t index = 0; index <= kMaxPartFileIndex; ++index) {
    const SPartFilePaths paths = PartFilePaths(folder, index);
    if (!Exists(paths.data) && !Exists(paths.metadata)) return index;
  }
  return std::nullopt;
}

std::optional<SPartFilePaths> PartFilePathsOf(const std::filesystem::path& path) {
  const std::filesystem::path stem = path.stem();  // "00000.tarn"
  if (!path.has_extension() || stem.extension() != ".tarn") return std::nullopt;
  std::filesystem::path base = path;
  base.replace_extension();
  std::filesystem::path data = base, metadata = base, hashes = base;
  data += ".tmp";
  metadata += ".dat";
  hashes += ".hashes";
  return SPartFilePaths{data, metadata, hashes};
}

std::optional<std::filesystem::path> FreePathInFolder(const std::filesystem::path& folder,
                                                      std::string_view name) {
  const std::string safe = SafeFileName(name);
  if (!Exists(folder / safe)) return folder / safe;
  for (uint32_t counter = 1; counter <= Protocol::kMaxNameCounter; ++counter) {
    const std::filesystem::path candidate = folder / NumberedFileName(safe, counter);
    if (!Exists(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace P2P::Shared::File::TransferFile
