// The disk-space check of downloads: part files are sparse, so a download takes its space as
// its data arrives, and a disk that fills up would stop it in the middle of a part. It is
// checked instead before a download starts (for all it still needs) and before the first block
// of each part is written (for that part), through the file-system seam so that tests can
// simulate a full disk. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace P2P::Shared::File::TransferFile {

// Why `needed` bytes cannot be written into `folder`: "not enough free space in FOLDER:
// N bytes needed, M free". Nothing when they fit, or when the file system cannot tell.
std::optional<std::string> LackOfSpace(const std::filesystem::path& folder, uint64_t needed);

}  // namespace P2P::Shared::File::TransferFile
