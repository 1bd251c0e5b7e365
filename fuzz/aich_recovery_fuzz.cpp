// AICH recovery data from peers: a 32-bit file size, a part number byte and a trusted 20-byte
// root hash set up the receiving side; the rest is the payload.
#include <cstdint>
#include <cstring>

#include "engine/hashing/FileHashSet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using P2P::HASH::CTARNNetFileHashSet;
  constexpr size_t kHeader = 4 + 1 + 20;
  if (size < kHeader) return 0;
  uint32_t fileSize = 0;
  std::memcpy(&fileSize, data, 4);
  P2P::HASH::_tagStructAICHHash root;
  std::memcpy(root.bytes.data(), data + 5, root.bytes.size());
  CTARNNetFileHashSet hashSet(fileSize);
  hashSet.SetRootHash(root, CTARNNetFileHashSet::kStatusTrusted);
  P2P::Protocol::CStreamReader reader({data + kHeader, size - kHeader});
  while (hashSet.ApplyRecoveryData(data[4], reader)) {
  }
  hashSet.FirstUnverifiedPart();
  hashSet.Tree().ImportStoredNodes(fileSize, hashSet.Tree().ExportStoredNodes());
  return 0;
}
