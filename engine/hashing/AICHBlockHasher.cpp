#include "engine/hashing/AICHBlockHasher.h"

#include <algorithm>

#include "engine/hashing/HashConstants.h"

namespace P2P::HASH {

bool CAICHBlockHasher::StartPart(_tagStructAICHNode* partNode) {
  part_ = partNode;
  blockOffset_ = 0;
  fed_ = 0;
  return part_ != nullptr;
}

bool CAICHBlockHasher::Feed(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const size_t take = std::min<size_t>(bytes.size(), kAICHBlockSize - fed_);
    sha1_.Update(bytes.first(take));
    fed_ += static_cast<uint32_t>(take);
    bytes = bytes.subspan(take);
    if (fed_ == kAICHBlockSize && !StoreBlock(kAICHBlockSize)) return false;
  }
  return true;
}

bool CAICHBlockHasher::FinishPart() { return fed_ == 0 || StoreBlock(fed_); }

bool CAICHBlockHasher::StoreBlock(uint32_t length) {
  if (part_ == nullptr) return false;
  _tagStructAICHNode* node = part_->FindNode(blockOffset_, length, true);
  if (node == nullptr) return false;
  node->SetHash(sha1_.Final());
  blockOffset_ += length;
  fed_ = 0;
  return true;
}

}  // namespace P2P::HASH
