// The AICH tree of one file: a sparse binary tree of SHA-1 hashes whose root names the file's
// contents and whose leaves are 184320-byte blocks. Besides lookups it builds and takes in the
// recovery data peers exchange for one part, and exports the hashes a data file keeps (the
// root and the leaves with their ids). Not synchronised; the owner guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "engine/hashing/AICHNode.h"
#include "engine/protocol/Stream.h"

namespace P2P::HASH {

// One stored node: its position code and its hash. Codes of trees of files up to 32 bits fit
// 16 bits, the width recovery data gives them; deeper trees need the full 32.
struct _tagStructAICHStoredNode {
  uint32_t id = 0;
  _tagStructAICHHash hash;

  bool operator==(const _tagStructAICHStoredNode&) const = default;
};

class CTARNNetAICHTree {
 public:
  static constexpr size_t kRecoveryEntrySize = 2 + _tagStructAICHHash::kSize;

  explicit CTARNNetAICHTree(uint64_t fileSize = 0);

  // Drops every hash and re-roots the tree for a file of `fileSize` bytes.
  void Reset(uint64_t fileSize);
  uint64_t GetFileSize() const { return root_->size; }
  _tagStructAICHNode& Root() { return *root_; }
  const _tagStructAICHNode& Root() const { return *root_; }

  // Stores the hash of the byte range [start, start + length), creating its node.
  bool SetRangeHash(uint64_t start, uint64_t length, const _tagStructAICHHash& hash);
  const _tagStructAICHNode* FindRange(uint64_t start, uint64_t length) const;

  // Every block of [first, last), counted from `first`, has a valid node.
  bool IsRangeVerified(uint64_t first, uint64_t last) const;

  // Entries that recovery data for `part` must hold: one per level above the part's node plus
  // one per block of the part. Empty when the part does not exist.
  std::optional<uint32_t> RecoveryCount(uint32_t part) const;
  // Writes the count, the siblings along the path from the root down, then the part's blocks.
  bool CreateRecoveryData(uint32_t part, Protocol::CStreamWriter& writer) const;
  // Takes in a peer's recovery data for `part`; true when the part is verified afterwards.
  // Data for a part already verified is consumed and accepted unchanged.
  bool ApplyRecoveryData(uint32_t part, Protocol::CStreamReader& reader);

  // Fills interior hashes from the leaves, then checks the whole tree from the root.
  bool ComputeAndVerify();

  // The root and every valid node lacking a child, in pre-order.
  std::vector<_tagStructAICHStoredNode> ExportStoredNodes() const;
  // Rebuilds the tree from exported nodes; true when the result verifies against its root.
  bool ImportStoredNodes(uint64_t fileSize, std::span<const _tagStructAICHStoredNode> nodes);

 private:
  // Places a hash at the node named by `id` below the root, creating the path to it.
  bool InsertById(uint32_t id, const _tagStructAICHHash& hash);
  // Levels between the root and the node covering exactly [start, start + length).
  std::optional<uint32_t> DepthOf(uint64_t start, uint64_t length) const;
  bool WriteSiblingsOnPath(const _tagStructAICHNode& target, Protocol::CStreamWriter& writer) const;

  std::unique_ptr<_tagStructAICHNode> root_;
};

}  // namespace P2P::HASH
