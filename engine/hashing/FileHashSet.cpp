#include "engine/hashing/FileHashSet.h"

#include "engine/hashing/HashConstants.h"

namespace P2P::HASH {

void CTARNNetFileHashSet::Reset(uint64_t fileSize) {
  hashList_.Clear();
  hashList_.SetFileSize(fileSize);
  tree_.Reset(fileSize);
  expectedHashCount_ = HashSetCount(fileSize);
  status_ = kStatusReset;
}

void CTARNNetFileHashSet::SetRootHash(const _tagStructAICHHash& hash, int32_t status) {
  auto& root = tree_.Root();
  if (!root.IsValid() || root.hash != hash) root.DropChildren();
  root.SetHash(hash);
  status_ = status;
}

const _tagStructAICHHash* CTARNNetFileHashSet::GetRootHash() const {
  const auto& root = tree_.Root();
  return root.IsValid() && !root.hash.IsZero() ? &root.hash : nullptr;
}

bool CTARNNetFileHashSet::CompareRootHash(const _tagStructAICHHash& hash) const {
  const _tagStructAICHHash* held = GetRootHash();
  return held != nullptr && *held == hash;
}

bool CTARNNetFileHashSet::IsTrusted() const {
  return status_ == kStatusTrusted || status_ == kStatusTrustedAlt || status_ == kStatusVerified;
}

bool CTARNNetFileHashSet::IsRangeVerified(uint64_t first, uint64_t last) const {
  return IsTrusted() && tree_.IsRangeVerified(first, last);
}

std::optional<uint32_t> CTARNNetFileHashSet::FirstUnverifiedPart() {
  if (status_ == kStatusVerified) return std::nullopt;
  const uint64_t size = GetFileSize();
  for (uint32_t part = 0; part < PartCount(size); ++part) {
    const uint64_t start = PartStart(part);
    if (!IsRangeVerified(start, start + PartLength(size, part))) return part;
  }
  status_ = kStatusVerified;
  return std::nullopt;
}

bool CTARNNetFileHashSet::CreateRecoveryData(uint32_t part, Protocol::CStreamWriter& writer) {
  if (status_ != kStatusVerified || GetRootHash() == nullptr) return false;
  // A peer asking for a part that does not exist, or a writer without room, says nothing about
  // the tree: only a tree that cannot serve an existing part stops AICH for this file.
  if (part >= PartCount(GetFileSize()) || GetFileSize() <= kAICHBlockSize) return false;
  std::vector<uint8_t> payload;
  Protocol::CStreamWriter scratch(payload);
  if (!tree_.CreateRecoveryData(part, scratch)) {
    status_ = kStatusUnusable;
    return false;
  }
  return writer.WriteBytes(payload);
}

bool CTARNNetFileHashSet::ApplyRecoveryData(uint32_t part, Protocol::CStreamReader& reader) {
  if (!IsTrusted() || GetRootHash() == nullptr) return false;
  return tree_.ApplyRecoveryData(part, reader);
}

}  // namespace P2P::HASH
