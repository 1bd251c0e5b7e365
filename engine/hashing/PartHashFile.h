// PartHashes.dat, kept next to Shared.dat: the MD4 part hashes of every shared file of more
// than one part, which Shared.dat does not hold, so that a restart need not read such files
// whole again to give peers their hash sets. Binary: "TPH1", a uint32 count, then per file its
// hash, its uint32 size and its hash set (a uint16 count and the part hashes); files above 32
// bits follow in a second section laid out alike, "TPH8" with uint64 sizes, written only when
// there are such files. A reader checks each entry (the count the size calls for, the part
// hashes deriving the file hash) and drops the ones that fail; a file that is not this format
// yields nothing. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/hashing/HashList.h"

namespace P2P::HASH {

inline constexpr std::string_view kPartHashFileName = "PartHashes.dat";

struct _tagStructPartHashEntry {
  _tagUnionHash fileHash;
  MD4_HASH::CTARNNetHashList parts;  // its file size set
};

std::vector<uint8_t> WritePartHashBytes(std::span<const _tagStructPartHashEntry> entries);
// False when the image is not this format (nothing kept); entries that fail their checks are
// left out.
bool ReadPartHashBytes(std::span<const uint8_t> bytes, std::vector<_tagStructPartHashEntry>& entries);
bool SavePartHashFile(const std::filesystem::path& path,
                      std::span<const _tagStructPartHashEntry> entries);
// Empty when the file is missing or unreadable.
std::vector<_tagStructPartHashEntry> LoadPartHashFile(const std::filesystem::path& path);

}  // namespace P2P::HASH
