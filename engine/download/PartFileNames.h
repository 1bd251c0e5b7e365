// Where a download keeps its files in the temp folder (nnnnn.tarn.tmp for the data,
// nnnnn.tarn.dat for the metadata, n the smallest index for which neither exists, and
// nnnnn.tarn.hashes for the part hashes once a source gave them) and how a
// name is made free in a folder with "(n)". Pure functions over the file-system seam; callers
// serialise choices in the same folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace P2P::Shared::File::TransferFile {

inline constexpr std::string_view kDataSuffix = ".tarn.tmp";
inline constexpr std::string_view kMetadataSuffix = ".tarn.dat";
inline constexpr std::string_view kHashesSuffix = ".tarn.hashes";
inline constexpr uint32_t kMaxPartFileIndex = 99999;

struct SPartFilePaths {
  std::filesystem::path data;
  std::filesystem::path metadata;
  std::filesystem::path hashes;
};

// The two paths of index `index` in `folder`.
SPartFilePaths PartFilePaths(const std::filesystem::path& folder, uint32_t index);
// The smallest index whose data and metadata names are both free; none past 99999.
std::optional<uint32_t> FreePartFileIndex(const std::filesystem::path& folder);
// The paths belonging to a metadata (or data) path: it must end in ".tarn" plus one more
// extension; none otherwise.
std::optional<SPartFilePaths> PartFilePathsOf(const std::filesystem::path& path);

// `name` in `folder`, or its first "(n)" variant that no entry of the folder holds. None when
// no free variant was found.
std::optional<std::filesystem::path> FreePathInFolder(const std::filesystem::path& folder,
                                                      std::string_view name);

}  // namespace P2P::Shared::File::TransferFile
