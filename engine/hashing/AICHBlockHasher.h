// Feeds a part's bytes, in any slicing, to SHA-1 per 184320-byte block and stores each finished
// block hash in the tree node covering exactly that block. Used by the hashing thread only.
#pragma once

#include <cstdint>
#include <span>

#include "engine/hashing/AICHNode.h"
#include "engine/hashing/Digest.h"

namespace P2P::HASH {

class CAICHBlockHasher {
 public:
  // False when the part has no node.
  bool StartPart(_tagStructAICHNode* partNode);
  bool Feed(std::span<const uint8_t> bytes);
  // Stores the shorter last block of the part, if one is pending.
  bool FinishPart();

 private:
  bool StoreBlock(uint32_t length);

  _tagStructAICHNode* part_ = nullptr;
  uint32_t blockOffset_ = 0;
  uint32_t fed_ = 0;
  CSHA1Digest sha1_;
};

}  // namespace P2P::HASH
