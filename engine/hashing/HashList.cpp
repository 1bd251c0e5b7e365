#include "engine/hashing/HashList.h"

#include <algorithm>

#include "engine/hashing/Digest.h"
#include "engine/hashing/HashConstants.h"

namespace P2P::HASH::MD4_HASH {

bool CTARNNetHashList::Contains(const _tagUnionHash& hash) const {
  return std::find(hashes_.begin(), hashes_.end(), hash) != hashes_.end();
}

_tagUnionHash CTARNNetHashList::DeriveFileHash() const {
  if (hashes_.empty()) return _tagUnionHash{};
  if (hashes_.size() == 1) return hashes_.front();
  CMD4Digest digest;
  for (const auto& hash : hashes_) digest.Update(hash.bytes);
  return digest.Final();
}

bool CTARNNetHashList::Matches(const _tagUnionHash& fileHash) const {
  return !hashes_.empty() && DeriveFileHash() == fileHash;
}

bool CTARNNetHashList::ReadHashSet(Protocol::CStreamReader& reader) {
  hashes_.clear();
  uint16_t count = 0;
  if (!reader.ReadUInt16(count)) return false;
  if (count != HashSetCount(fileSize_)) return false;
  if (reader.Remaining() < size_t{count} * _tagUnionHash::kSize) return false;
  hashes_.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    _tagUnionHash hash;
    if (!reader.ReadHash(hash)) {
      hashes_.clear();
      return false;
    }
    hashes_.push_back(hash);
  }
  return hashes_.size() == count;
}

bool CTARNNetHashList::WriteHashSet(Protocol::CStreamWriter& writer) const {
  const uint32_t count = HashSetCount(fileSize_);
  // A single-part file's one hash is its file hash; its hash set is empty.
  if (count == 0) return writer.WriteUInt16(0);
  if (hashes_.size() != count || count > 0xFFFF) return false;
  if (!writer.WriteUInt16(static_cast<uint16_t>(count))) return false;
  for (const auto& hash : hashes_)
    if (!writer.WriteHash(hash)) return false;
  return true;
}

}  // namespace P2P::HASH::MD4_HASH
