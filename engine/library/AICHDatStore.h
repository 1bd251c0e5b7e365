// AICH.dat kept in memory: the stored nodes of every file's AICH tree, in file order, so that a
// library of 100,000 files is not parsed, edited and written once per hashed file. Put records
// a tree (replacing the file's earlier entry, which moves to the end as a fresh element would);
// Save writes the whole file atomically in its fixed layout, only when something changed. The
// file on disk is read once, on the first Put. Any thread; one lock guards the entries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/hashing/AICHTree.h"
#include "engine/library/SharedFileList.h"
#include "framework/CriticalSection.h"

namespace P2P::Shared::File {

struct _tagStructAICHDatEntry {
  _tagUnionHash fileHash;
  std::vector<HASH::_tagStructAICHStoredNode> nodes;
};

// The entries of an AICH.dat image; empty (false) when it is not a well-formed AICHList.
// Entries without a readable hash, and blocks without a readable id and hash, are dropped.
bool ReadAICHDatText(std::string_view text, std::vector<_tagStructAICHDatEntry>& entries);
// The file as the DOM writer lays it out.
std::string WriteAICHDatText(const std::list<_tagStructAICHDatEntry>& entries);

class CTARNNetAICHDatStore {
 public:
  explicit CTARNNetAICHDatStore(std::filesystem::path folder = {}) : folder_(std::move(folder)) {}

  void SetFolder(const std::filesystem::path& folder);
  void Put(const _tagUnionHash& fileHash, const HASH::CTARNNetAICHTree& tree);
  bool Contains(const _tagUnionHash& fileHash);
  // Writes AICH.dat when entries changed since the last save; true when the file on disk
  // holds every entry.
  bool Save();
  bool IsDirty() const;

 private:
  void LoadOnce() REQUIRES(lock_);

  mutable OSTREL::Process::CMutex lock_;
  std::filesystem::path folder_ GUARDED_BY(lock_);
  bool loaded_ GUARDED_BY(lock_) = false;
  bool dirty_ GUARDED_BY(lock_) = false;
  std::list<_tagStructAICHDatEntry> entries_ GUARDED_BY(lock_);
  std::unordered_map<_tagUnionHash, std::list<_tagStructAICHDatEntry>::iterator,
                     Shared::File::TransferFile::_tagStructHashKey>
      byHash_ GUARDED_BY(lock_);
};

}  // namespace P2P::Shared::File
