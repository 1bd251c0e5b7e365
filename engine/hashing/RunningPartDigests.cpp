#include "engine/hashing/RunningPartDigests.h"

#include <algorithm>

namespace P2P::HASH {

CTARNNetRunningPartDigests::SPart* CTARNNetRunningPartDigests::FindPart(uint64_t partStart) {
  for (const auto& part : parts_)
    if (part->start == partStart) return part.get();
  return nullptr;
}

void CTARNNetRunningPartDigests::Written(uint64_t partStart, uint64_t partEnd, uint64_t start,
                                         std::span<const uint8_t> data) {
  const uint64_t end = uint64_t{start} + data.size();
  if (start < partStart || end > partEnd || data.empty()) return;
  SPart* part = FindPart(partStart);
  if (part != nullptr && start < part->hashedEnd) {
    // Bytes already hashed were overwritten: the digest no longer matches the disk.
    Forget(partStart);
    part = nullptr;
  }
  if (part == nullptr) {
    if (start != partStart || parts_.size() >= kMaxParts) return;
    auto added = std::make_unique<SPart>();
    added->start = partStart;
    added->hashedEnd = partStart;
    part = added.get();
    parts_.push_back(std::move(added));
  }
  if (start != part->hashedEnd) return;  // out of order: read back when the part completes
  part->md4.Update(data);
  part->hashedEnd = end;
}

CMD4Digest* CTARNNetRunningPartDigests::Find(uint64_t partStart, uint64_t& hashedEnd) {
  SPart* part = FindPart(partStart);
  if (part == nullptr) return nullptr;
  hashedEnd = part->hashedEnd;
  return &part->md4;
}

void CTARNNetRunningPartDigests::Forget(uint64_t partStart) {
  std::erase_if(parts_, [partStart](const auto& part) { return part->start == partStart; });
}

}  // namespace P2P::HASH
