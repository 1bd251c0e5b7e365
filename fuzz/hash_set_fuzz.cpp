// Hash sets from peers: a 32-bit file size picks the expected count, the rest is the packet.
#include <cstdint>
#include <cstring>

#include "engine/hashing/HashList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t fileSize = 0;
  if (size < sizeof fileSize) return 0;
  std::memcpy(&fileSize, data, sizeof fileSize);
  P2P::HASH::MD4_HASH::CTARNNetHashList list;
  list.SetFileSize(fileSize);
  P2P::Protocol::CStreamReader reader({data + sizeof fileSize, size - sizeof fileSize});
  if (list.ReadHashSet(reader)) list.Matches(list.DeriveFileHash());
  return 0;
}
