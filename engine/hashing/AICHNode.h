// One node of an AICH tree: the SHA-1 hash of a byte range of the file, split in two children
// down to 184320-byte blocks. Holds the tree's geometry (where a node splits, which node covers a
// range) and its two repair steps: computing missing hashes from below and verifying hashes
// from the root down, dropping what does not check out. Not synchronised; the tree's owner
// guards it.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/hashing/AICHHash.h"

namespace P2P::HASH {

enum : int32_t { kNodeRoot = 0, kNodeLeft = 1, kNodeRight = 2 };

struct _tagStructAICHNode {
  int32_t kind = kNodeRoot;
  int32_t valid = 0;
  uint64_t start = 0;
  uint64_t end = 0;
  uint64_t size = 0;
  uint64_t base = 0;
  _tagStructAICHHash hash;
  uint32_t id = 1;  // 1 for the root; 2 * id + 1 for a left child, 2 * id for a right one
  _tagStructAICHNode* parent = nullptr;
  std::unique_ptr<_tagStructAICHNode> left;
  std::unique_ptr<_tagStructAICHNode> right;

  static std::unique_ptr<_tagStructAICHNode> CreateRoot(uint64_t fileSize);

  // Block size used to split a node of `size` bytes.
  static uint64_t BaseFor(uint64_t size);
  // Size of the left child of a node of this size and kind.
  static uint64_t SplitPoint(uint64_t size, int32_t kind);

  bool IsLeaf() const { return base >= size; }
  bool IsValid() const { return valid != 0; }
  void SetHash(const _tagStructAICHHash& value);
  void Invalidate() { valid = 0; }

  // The child on one side, created when absent and `create` is set; null for a leaf or when
  // the id space is used up.
  _tagStructAICHNode* Child(int32_t side, bool create);

  // The node covering exactly [offset, offset + length) relative to this node's start, created
  // on the way when `create` is set; null when no node can cover that range.
  _tagStructAICHNode* FindNode(uint64_t offset, uint64_t length, bool create);
  const _tagStructAICHNode* FindNode(uint64_t offset, uint64_t length) const;

  // Fills every invalid node whose children both hold valid hashes, children first. Valid
  // hashes are never overwritten: a trusted hash must stay what it was.
  void ComputeMissing();

  // Checks this subtree against its hashes from the top. A failing node loses its subtrees;
  // so does an invalid child of a passing node, since nothing below it can be tied to the top.
  bool Verify();

  void DropChildren();
};

}  // namespace P2P::HASH
