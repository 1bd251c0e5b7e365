// Reads a PartHashes.dat image: every entry kept has part hashes that derive its file hash and
// the count its size calls for, and writing the kept entries reads back to the same entries.
#include <span>

#include "engine/hashing/HashConstants.h"
#include "engine/hashing/PartHashFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<P2P::HASH::_tagStructPartHashEntry> entries;
  if (!P2P::HASH::ReadPartHashBytes(std::span<const uint8_t>(data, size), entries)) return 0;
  for (const auto& entry : entries)
    if (!entry.parts.Matches(entry.fileHash) ||
        entry.parts.Size() != P2P::HASH::HashSetCount(entry.parts.GetFileSize()))
      __builtin_trap();
  std::vector<P2P::HASH::_tagStructPartHashEntry> again;
  if (!P2P::HASH::ReadPartHashBytes(P2P::HASH::WritePartHashBytes(entries), again) ||
      again.size() != entries.size())
    __builtin_trap();
  return 0;
}
