#include "engine/hashing/AICHTree.h"

#include <algorithm>

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Limits.h"

namespace P2P::HASH {
namespace {

bool AncestorsValid(const _tagStructAICHNode& node) {
  for (const _tagStructAICHNode* at = &node; at != nullptr; at = at->parent)
    if (!at->IsValid()) return false;
  return true;
}

void CollectStored(const _tagStructAICHNode& node, std::vector<_tagStructAICHStoredNode>& out) {
  const bool isRoot = node.parent == nullptr;
  if (node.IsValid() && (isRoot || !node.left || !node.right)) out.push_back({node.id, node.hash});
  if (node.left) CollectStored(*node.left, out);
  if (node.right) CollectStored(*node.right, out);
}

bool WriteEntry(const _tagStructAICHNode& node, Protocol::CStreamWriter& writer) {
  return node.IsValid() && node.id <= 0xFFFF &&
         writer.WriteUInt16(static_cast<uint16_t>(node.id)) && writer.WriteBytes(node.hash.bytes);
}

}  // namespace

CTARNNetAICHTree::CTARNNetAICHTree(uint64_t fileSize)
    : root_(_tagStructAICHNode::CreateRoot(fileSize)) {}

void CTARNNetAICHTree::Reset(uint64_t fileSize) {
  root_ = _tagStructAICHNode::CreateRoot(fileSize);
}

bool CTARNNetAICHTree::SetRangeHash(uint64_t start, uint64_t length,
                                    const _tagStructAICHHash& hash) {
  _tagStructAICHNode* node = root_->FindNode(start, length, true);
  if (node == nullptr) return false;
  node->SetHash(hash);
  return true;
}

const _tagStructAICHNode* CTARNNetAICHTree::FindRange(uint64_t start, uint64_t length) const {
  return root_->FindNode(start, length);
}

bool CTARNNetAICHTree::IsRangeVerified(uint64_t first, uint64_t last) const {
  if (first >= last || last > root_->size) return false;
  for (uint64_t offset = first; offset < last;) {
    const uint64_t length = std::min<uint64_t>(kAICHBlockSize, last - offset);
    const _tagStructAICHNode* block = root_->FindNode(offset, length);
    if (block == nullptr || !AncestorsValid(*block)) return false;
    offset += length;
  }
  return true;
}

std::optional<uint32_t> CTARNNetAICHTree::DepthOf(uint64_t start, uint64_t length) const {
  uint64_t size = root_->size;
  int32_t kind = kNodeRoot;
  for (uint32_t depth = 0; depth <= Protocol::kMaxAICHTreeDepth; ++depth) {
    if (length > size || start > size - length) return std::nullopt;
    if (start == 0 && length == size) return depth;
    if (length == 0 || _tagStructAICHNode::BaseFor(size) >= size) return std::nullopt;
    const uint64_t split = _tagStructAICHNode::SplitPoint(size, kind);
    if (start + length <= split) {
      size = split;
      kind = kNodeLeft;
    } else if (start >= split) {
      size -= split;
      start -= split;
      kind = kNodeRight;
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<uint32_t> CTARNNetAICHTree::RecoveryCount(uint32_t part) const {
  const uint64_t size = root_->size;
  if (part >= PartCount(size)) return std::nullopt;
  const uint32_t length = PartLength(size, part);
  const auto depth = DepthOf(PartStart(part), length);
  if (!depth) return std::nullopt;
  return *depth + BlockCount(length);
}

bool CTARNNetAICHTree::WriteSiblingsOnPath(const _tagStructAICHNode& target,
                                           Protocol::CStreamWriter& writer) const {
  std::vector<const _tagStructAICHNode*> path;
  for (const _tagStructAICHNode* at = &target; at->parent != nullptr; at = at->parent)
    path.push_back(at);
  // From the root down: each level names the sibling of the path node.
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    const _tagStructAICHNode& node = **it;
    const auto& sibling = node.kind == kNodeLeft ? node.parent->right : node.parent->left;
    if (!sibling || !WriteEntry(*sibling, writer)) return false;
  }
  return true;
}

bool CTARNNetAICHTree::CreateRecoveryData(uint32_t part, Protocol::CStreamWriter& writer) const {
  const uint64_t size = root_->size;
  if (size <= kAICHBlockSize) return false;
  const auto count = RecoveryCount(part);
  if (!count || *count > 0xFFFF) return false;
  const uint64_t start = PartStart(part);
  const uint32_t length = PartLength(size, part);
  if (!IsRangeVerified(start, start + length)) return false;
  const _tagStructAICHNode* partNode = root_->FindNode(start, length);
  if (partNode == nullptr) return false;

  // Built aside so that a bounded writer either takes the whole payload or nothing.
  std::vector<uint8_t> payload;
  Protocol::CStreamWriter entries(payload);
  entries.WriteUInt16(static_cast<uint16_t>(*count));
  if (!WriteSiblingsOnPath(*partNode, entries)) return false;
  for (uint32_t offset = 0; offset < length; offset += kAICHBlockSize) {
    const _tagStructAICHNode* block =
        partNode->FindNode(offset, std::min(kAICHBlockSize, length - offset));
    if (block == nullptr || !WriteEntry(*block, entries)) return false;
  }
  if (payload.size() != 2 + size_t{*count} * kRecoveryEntrySize) return false;
  return writer.WriteBytes(payload);
}

bool CTARNNetAICHTree::ApplyRecoveryData(uint32_t part, Protocol::CStreamReader& reader) {
  const auto expected = RecoveryCount(part);
  uint16_t count = 0;
  if (!expected || !reader.ReadUInt16(count) || count != *expected) return false;
  const size_t bytes = size_t{count} * kRecoveryEntrySize;
  if (reader.Remaining() < bytes) return false;
  const uint64_t start = PartStart(part);
  const uint64_t end = start + PartLength(root_->size, part);
  if (IsRangeVerified(start, end)) return reader.Skip(bytes);
  if (!root_->IsValid()) {
    reader.Skip(bytes);
    return false;  // nothing to check the entries against
  }
  bool inserted = true;
  for (uint16_t i = 0; i < count; ++i) {
    uint16_t id = 0;
    _tagStructAICHHash hash;
    reader.ReadUInt16(id);
    reader.ReadBytes(hash.bytes);
    if (inserted) inserted = InsertById(id, hash);
  }
  // Verifying also drops whatever the entries left that does not tie to the root.
  const bool verified = ComputeAndVerify();
  return inserted && verified && IsRangeVerified(start, end);
}

bool CTARNNetAICHTree::InsertById(uint32_t id, const _tagStructAICHHash& hash) {
  // Id 0 names no node; id 1 is the root, whose hash only a trusted source may set.
  if (id <= 1) return false;
  constexpr uint32_t kTop = 0x80000000u;
  uint32_t path = id;
  while ((path & kTop) == 0) path <<= 1;
  _tagStructAICHNode* node = root_.get();
  // The id's bits after its leading one spell the way down: 1 left, 0 right.
  while (node->id != id) {
    path <<= 1;
    node = node->Child((path & kTop) != 0 ? kNodeLeft : kNodeRight, true);
    if (node == nullptr) return false;
  }
  node->SetHash(hash);
  return true;
}

bool CTARNNetAICHTree::ComputeAndVerify() {
  root_->ComputeMissing();
  return root_->Verify();
}

std::vector<_tagStructAICHStoredNode> CTARNNetAICHTree::ExportStoredNodes() const {
  std::vector<_tagStructAICHStoredNode> nodes;
  if (root_->IsValid()) CollectStored(*root_, nodes);
  return nodes;
}

bool CTARNNetAICHTree::ImportStoredNodes(uint64_t fileSize,
                                         std::span<const _tagStructAICHStoredNode> nodes) {
  Reset(fileSize);
  for (const auto& node : nodes) {
    const bool placed =
        node.id == 1 ? (root_->SetHash(node.hash), true) : InsertById(node.id, node.hash);
    if (!placed) {
      Reset(fileSize);
      return false;
    }
  }
  return root_->IsValid() && ComputeAndVerify();
}

}  // namespace P2P::HASH
