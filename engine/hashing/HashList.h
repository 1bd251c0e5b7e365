// The MD4 part hashes of one file, in part order, with the file size they belong to: the list
// peers exchange as a hash set and from which the file hash is derived. Not synchronised; the
// owner (a hashing call or a transfer file's hash set) guards it.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"

namespace P2P::HASH::MD4_HASH {

class CTARNNetHashList {
 public:
  using const_iterator = std::vector<_tagUnionHash>::const_iterator;

  uint64_t GetFileSize() const { return fileSize_; }
  void SetFileSize(uint64_t size) { fileSize_ = size; }

  void Add(const _tagUnionHash& hash) { hashes_.push_back(hash); }
  bool Contains(const _tagUnionHash& hash) const;
  void Clear() { hashes_.clear(); }
  size_t Size() const { return hashes_.size(); }
  bool Empty() const { return hashes_.empty(); }
  const _tagUnionHash& operator[](size_t index) const { return hashes_[index]; }
  const_iterator begin() const { return hashes_.begin(); }
  const_iterator end() const { return hashes_.end(); }

  // No hashes: 16 zero bytes; one: that hash; more: MD4 over all of them concatenated.
  _tagUnionHash DeriveFileHash() const;
  // True when the list is not empty and derives `fileHash`.
  bool Matches(const _tagUnionHash& fileHash) const;

  // Reads a peer's hash set for this list's file size: a uint16 count that must equal the
  // hash-set count for the size, then that many hashes. On failure the list is left empty.
  bool ReadHashSet(Protocol::CStreamReader& reader);
  // Writes the hash set a peer expects for this file size (empty for a single-part file);
  // false when a multi-part list does not hold exactly that many hashes.
  bool WriteHashSet(Protocol::CStreamWriter& writer) const;

 private:
  std::vector<_tagUnionHash> hashes_;
  uint64_t fileSize_ = 0;
};

}  // namespace P2P::HASH::MD4_HASH
