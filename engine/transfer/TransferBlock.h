// Blocks being received from peers: one record per requested block collecting its data, plain
// or zlib-packed, until it is whole; the list of such blocks; and the untrusted-block records
// that keep a received block's digests until its part is proven. Not synchronised; the
// owning transfer file's lock guards them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/hashing/AICHHash.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetTransferBlock {
 public:
  // False from Valid() when the range is empty or longer than one request block.
  CTARNNetTransferBlock(uint64_t start, uint64_t end);
  ~CTARNNetTransferBlock();
  CTARNNetTransferBlock(const CTARNNetTransferBlock&) = delete;
  CTARNNetTransferBlock& operator=(const CTARNNetTransferBlock&) = delete;

  bool Valid() const { return start_ < end_ && end_ - start_ <= kMaxLength(); }
  uint64_t Start() const { return start_; }
  uint64_t End() const { return end_; }
  uint32_t Held() const { return held_; }
  uint32_t PackedReceived() const { return packedReceived_; }
  bool IsComplete() const { return Valid() && !broken_ && held_ == end_ - start_; }
  // A packed stream that failed: the block must be asked for again.
  bool IsBroken() const { return broken_; }
  std::span<const uint8_t> Data() const { return {data_.get(), held_}; }

  // Plain data at absolute `offset`: taken only when it continues where the held data ends
  // and fits before the block's end.
  bool AppendPlain(uint64_t offset, std::span<const uint8_t> data);
  // zlib-packed data of the block starting at `blockStart`: taken only for this block's own
  // start; inflated behind what is held. Output beyond the block's end, a broken stream or too
  // much packed input fails the block.
  bool AppendPacked(uint64_t blockStart, std::span<const uint8_t> packed);

 private:
  bool Inflate(std::span<const uint8_t> packed);
  static uint32_t kMaxLength();
  bool EnsureBuffer();

  struct Inflater;
  uint64_t start_;
  uint64_t end_;
  uint32_t packedReceived_ = 0;
  uint32_t held_ = 0;
  bool broken_ = false;
  std::unique_ptr<Inflater> inflater_;
  // Taken from a per-thread pool of block-sized buffers when the first data arrives and given
  // back by the destructor: no bytes are ever read from it before they were written.
  std::unique_ptr<uint8_t[]> data_;
};

// Blocks being received, sorted by start; a block that one element already covers is refused.
class CTARNNetTransferBlockList {
 public:
  // The new block, or null when refused (covered, or not a valid block).
  CTARNNetTransferBlock* Add(uint64_t start, uint64_t end);
  bool Contains(uint64_t start, uint64_t end) const;
  CTARNNetTransferBlock* Find(uint64_t start, uint64_t end) const;
  // The block holding [start, end), or null.
  CTARNNetTransferBlock* FindCovering(uint64_t start, uint64_t end) const;
  CTARNNetTransferBlock* FindStartingAt(uint64_t start) const;
  std::vector<std::pair<uint64_t, uint64_t>> Ranges() const;
  // Drops every block covering `offset`.
  void RemoveCovering(uint64_t offset);
  void Remove(const CTARNNetTransferBlock* block);
  size_t Size() const { return blocks_.size(); }
  void Clear() { blocks_.clear(); }

 private:
  std::vector<std::unique_ptr<CTARNNetTransferBlock>> blocks_;
};

// A received block not yet proven: its range and digests.
struct _tagUntrustBlockPart {
  uint64_t start = 0;
  uint64_t end = 0;
  _tagUnionHash md4;
  HASH::_tagStructAICHHash sha1;

  bool operator==(const _tagUntrustBlockPart&) const = default;
};

class CTARNNetUntrustBlockPartList {
 public:
  using const_iterator = std::vector<_tagUntrustBlockPart>::const_iterator;

  // Sorted insert as the range lists do (before the first element starting at or after end).
  void Add(const _tagUntrustBlockPart& part);
  bool Contains(const _tagUntrustBlockPart& part) const;
  // The record for exactly [start, end), if any.
  const _tagUntrustBlockPart* Find(uint64_t start, uint64_t end) const;
  // Some record lies inside [start, end).
  bool AnyWithin(uint64_t start, uint64_t end) const;
  void RemoveWithin(uint64_t start, uint64_t end);
  void Clear() { parts_.clear(); }
  size_t Size() const { return parts_.size(); }
  const_iterator begin() const { return parts_.begin(); }
  const_iterator end() const { return parts_.end(); }

 private:
  std::vector<_tagUntrustBlockPart> parts_;
};

}  // namespace P2P::Shared::File::TransferFile
