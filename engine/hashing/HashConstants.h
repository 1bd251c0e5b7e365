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

// File sizes and offsets are 64-bit (files reach 256 GiB); part numbers, part lengths and block
// lengths stay 32-bit. Parts holding data: part i covers
// [i * kPartSize, min((i + 1) * kPartSize, size)).
constexpr uint32_t PartCount(uint64_t size) {
  return static_cast<uint32_t>(size / kPartSize + (size % kPartSize != 0 ? 1 : 0));
}

// Hashes in a hash set exchanged with peers: none for a single-part file; otherwise one per
// part, plus the hash of the empty last part when the size is an exact multiple of kPartSize.
constexpr uint32_t HashSetCount(uint64_t size) {
  return size / kPartSize == 0 ? 0 : static_cast<uint32_t>(size / kPartSize + 1);
}

constexpr uint32_t BlockCount(uint32_t length) {
  return length / kAICHBlockSize + (length % kAICHBlockSize != 0 ? 1 : 0);
}

constexpr uint64_t PartStart(uint32_t part) { return uint64_t{part} * kPartSize; }

constexpr uint32_t PartLength(uint64_t size, uint32_t part) {
  const uint64_t start = PartStart(part);
  if (start >= size) return 0;
  const uint64_t rest = size - start;
  return static_cast<uint32_t>(rest < kPartSize ? rest : kPartSize);
}

}  // namespace P2P::HASH
