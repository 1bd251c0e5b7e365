#include "engine/hashing/AICHNode.h"

#include "engine/hashing/Digest.h"
#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Limits.h"

namespace P2P::HASH {

std::unique_ptr<_tagStructAICHNode> _tagStructAICHNode::CreateRoot(uint64_t fileSize) {
  auto root = std::make_unique<_tagStructAICHNode>();
  root->end = fileSize;
  root->size = fileSize;
  root->base = BaseFor(fileSize);
  return root;
}

uint64_t _tagStructAICHNode::BaseFor(uint64_t size) {
  return size <= kPartSize ? kAICHBlockSize : kPartSize;
}

uint64_t _tagStructAICHNode::SplitPoint(uint64_t size, int32_t kind) {
  const uint64_t base = BaseFor(size);
  const uint64_t blocks = (size + base - 1) / base;
  // The root and left children put the odd block on their left side, right children on their
  // right side.
  return (blocks + (kind < kNodeRight ? 1 : 0)) / 2 * base;
}

void _tagStructAICHNode::SetHash(const _tagStructAICHHash& value) {
  hash = value;
  valid = 1;
}

_tagStructAICHNode* _tagStructAICHNode::Child(int32_t side, bool create) {
  auto& slot = side == kNodeLeft ? left : right;
  if (slot || !create) return slot.get();
  if (IsLeaf() || id >= 0x80000000u) return nullptr;
  const uint64_t split = SplitPoint(size, kind);
  auto child = std::make_unique<_tagStructAICHNode>();
  child->kind = side;
  child->parent = this;
  if (side == kNodeLeft) {
    child->start = start;
    child->size = split;
    child->id = 2 * id + 1;
  } else {
    child->start = start + split;
    child->size = size - split;
    child->id = 2 * id;
  }
  child->end = child->start + child->size;
  child->base = BaseFor(child->size);
  slot = std::move(child);
  return slot.get();
}

_tagStructAICHNode* _tagStructAICHNode::FindNode(uint64_t offset, uint64_t length, bool create) {
  _tagStructAICHNode* node = this;
  for (unsigned depth = 0; depth <= Protocol::kMaxAICHTreeDepth; ++depth) {
    const uint64_t size = node->size;
    if (length > size || offset > size - length) return nullptr;
    if (offset == 0 && length == size) return node;
    if (length == 0 || node->IsLeaf()) return nullptr;
    const uint64_t split = SplitPoint(size, node->kind);
    if (offset + length <= split) {
      node = node->Child(kNodeLeft, create);
    } else if (offset >= split) {
      node = node->Child(kNodeRight, create);
      offset -= split;
    } else {
      return nullptr;  // the range crosses the split
    }
    if (node == nullptr) return nullptr;
  }
  return nullptr;
}

const _tagStructAICHNode* _tagStructAICHNode::FindNode(uint64_t offset, uint64_t length) const {
  return const_cast<_tagStructAICHNode*>(this)->FindNode(offset, length, false);
}

void _tagStructAICHNode::ComputeMissing() {
  if (left) left->ComputeMissing();
  if (right) right->ComputeMissing();
  if (!IsValid() && left && right && left->IsValid() && right->IsValid())
    SetHash(SHA1Of(left->hash, right->hash));
}

bool _tagStructAICHNode::Verify() {
  if (!IsValid()) {
    DropChildren();
    return false;
  }
  if (left && !left->IsValid()) left->ComputeMissing();
  if (right && !right->IsValid()) right->ComputeMissing();
  const bool leftValid = left && left->IsValid();
  const bool rightValid = right && right->IsValid();
  if (leftValid != rightValid) {
    DropChildren();
    return false;
  }
  if (!leftValid) {
    // Whatever hangs below invalid children cannot be checked against this node.
    DropChildren();
    return true;
  }
  if (SHA1Of(left->hash, right->hash) != hash) {
    DropChildren();
    return false;
  }
  const bool leftPasses = left->Verify();
  const bool rightPasses = right->Verify();
  return leftPasses && rightPasses;
}

void _tagStructAICHNode::DropChildren() {
  left.reset();
  right.reset();
}

}  // namespace P2P::HASH
