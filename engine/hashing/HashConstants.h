// Sizes and counting rules shared by everything that hashes or checks file contents: eD2K
// parts, AICH blocks and the number of hashes peers exchange. Pure constants; any thread.
#pragma once

#include <cstdint>

namespace P2P::HASH {

inline constexpr uint32_t kPartSize = 9728000;
inline constexpr uint32_t kAICHBlockSize = 184320;
// Reads that check a completed part use this size.
inline constexpr uint32_t kReadChunk = 102400;
// Hashing reads ten AICH blocks at a time: a multiple of both the block and the read chunk.
inline constexpr uint32_t kHashingReadSize = 10 * kAICHBlockSize;
static_assert(kHashingReadSize % kReadChunk == 0);

// Parts holding data: part i covers [i * kPartSize, min((i + 1) * kPartSize, size)).
constexpr uint32_t PartCount(uint32_t size) {
  return size / kPartSize + (size % kPartSize != 0 ? 1 : 0);
}

// Hashes in a hash set exchanged with peers: none for a single-part file; otherwise one per
// part plus one, which for an exact multiple of kPartSize is the hash of the empty last part.
constexpr uint32_t HashSetCount(uint32_t size) {
  return size / kPartSize == 0 ? 0 : size / kPartSize + 1;
}

constexpr uint32_t BlockCount(uint32_t length) {
  return length / kAICHBlockSize + (length % kAICHBlockSize != 0 ? 1 : 0);
}

constexpr uint32_t PartStart(uint32_t part) { return part * kPartSize; }

constexpr uint32_t PartLength(uint32_t size, uint32_t part) {
  const uint64_t start = uint64_t{part} * kPartSize;
  if (start >= size) return 0;
  const uint64_t rest = size - start;
  return static_cast<uint32_t>(rest < kPartSize ? rest : kPartSize);
}

}  // namespace P2P::HASH
