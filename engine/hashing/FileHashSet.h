// Everything a transfer file knows about its contents' hashes: the MD4 part-hash list, the
// AICH tree, and how far the tree's root may be trusted. The trust status gates range checks
// and recovery data. Not synchronised; the transfer file that owns it guards it.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/hashing/AICHTree.h"
#include "engine/hashing/HashList.h"

namespace P2P::HASH {

class CTARNNetFileHashSet {
 public:
  // AICH trust status.
  static constexpr int32_t kStatusUnusable = 0;  // creating recovery data failed
  static constexpr int32_t kStatusReset = 1;     // no AICH checks yet
  static constexpr int32_t kStatusTrusted = 3;   // a root hash from a peer was accepted
  static constexpr int32_t kStatusTrustedAlt = 4;
  static constexpr int32_t kStatusVerified = 5;  // every part verified; may serve recovery data

  explicit CTARNNetFileHashSet(uint64_t fileSize = 0) { Reset(fileSize); }

  // Sets the list's size, re-roots the tree, status back to reset.
  void Reset(uint64_t fileSize);

  uint64_t GetFileSize() const { return hashList_.GetFileSize(); }
  uint32_t GetExpectedHashCount() const { return expectedHashCount_; }
  int32_t GetStatus() const { return status_; }
  MD4_HASH::CTARNNetHashList& HashList() { return hashList_; }
  const MD4_HASH::CTARNNetHashList& HashList() const { return hashList_; }
  CTARNNetAICHTree& Tree() { return tree_; }
  const CTARNNetAICHTree& Tree() const { return tree_; }

  // A different root drops every hash held below the old one: they no longer belong to it.
  void SetRootHash(const _tagStructAICHHash& hash, int32_t status);
  // Null unless the root is valid and not all zero.
  const _tagStructAICHHash* GetRootHash() const;
  bool CompareRootHash(const _tagStructAICHHash& hash) const;

  bool IsRangeVerified(uint64_t first, uint64_t last) const;
  // The first part the tree does not verify; none once the whole file is verified, which
  // raises the status to verified.
  std::optional<uint32_t> FirstUnverifiedPart();

  bool CreateRecoveryData(uint32_t part, Protocol::CStreamWriter& writer);
  bool ApplyRecoveryData(uint32_t part, Protocol::CStreamReader& reader);

 private:
  bool IsTrusted() const;

  MD4_HASH::CTARNNetHashList hashList_;
  CTARNNetAICHTree tree_;
  uint32_t expectedHashCount_ = 0;
  int32_t status_ = kStatusReset;
};

}  // namespace P2P::HASH
