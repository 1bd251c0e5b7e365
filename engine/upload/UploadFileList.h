// The shared-file list: the transfer files the engine offers, each with an upload object.
// Adding raises added and marks Shared.dat for the next batched save; removing raises removed
// and detaches the upload object. Files are also indexed by full path and by name, size and
// times (how a file moved with its folder is recognised without hashing it again); a caller
// that changes a listed file's path calls Reindex. Any thread; the list lock guards the
// entries and the indexes, a second lock the file writes.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/library/SharedFileEventHandler.h"
#include "engine/library/SharedFileList.h"
#include "engine/transfer/TransferFile.h"
#include "framework/CriticalSection.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetUploadFileList : public ITARNNetTransferFilePtrListT<CTARNNetTransferFile> {
 public:
  void SetEventSink(ITARNNetP2PSharedFileEventHandler* sink);
  void SetSharedDatPath(const std::filesystem::path& path) { sharedDatPath_ = path; }
  bool HasScanned() const { return scanned_; }
  void SetScanned(bool scanned) { scanned_ = scanned; }

  bool Add(const FilePtr& file) override;
  // As Add, without marking Shared.dat changed (the entries being loaded from it).
  bool AddLoaded(const FilePtr& file);
  bool Remove(const CTARNNetTransferFile* file) override;
  // Detaches every upload object and empties the list, raising no events.
  void Clear() override;

  FilePtr FindByPath(const std::string& fullPath) const;
  // Listed files with this name (any case), size and both times.
  std::vector<FilePtr> FindAllByNameSizeTimes(const std::string& name, uint64_t size,
                                              int64_t creationTime, int64_t lastWriteTime) const;
  // Takes the file's current path, name, size and times into the indexes.
  void Reindex(const CTARNNetTransferFile* file);

  // Something changed since the last save.
  bool IsDirty() const { return dirty_.load(); }
  void MarkDirty() { dirty_.store(true); }
  // Writes the whole list; clears the dirty mark on success.
  bool Save();

 private:
  // The keys a file is filed under; lookups compare the file's own fields, so no copy of
  // its path is kept (a 100,000-file list would hold every path three times).
  struct _tagStructIndexed {
    size_t pathKey = 0;
    size_t attributesKey = 0;
  };
  bool AddAndAnnounce(const FilePtr& file);
  void IndexLocked(CTARNNetTransferFile* file) REQUIRES(lock_);
  void UnindexLocked(const CTARNNetTransferFile* file) REQUIRES(lock_);
  static size_t PathKey(const std::string& fullPath) { return std::hash<std::string>()(fullPath); }
  static size_t AttributesKey(const std::string& name, uint64_t size, int64_t creationTime,
                              int64_t lastWriteTime);

  OSTREL::Process::CMutex sinkLock_;
  ITARNNetP2PSharedFileEventHandler* sink_ GUARDED_BY(sinkLock_) = nullptr;
  std::filesystem::path sharedDatPath_;
  mutable OSTREL::Process::CMutex saveLock_;
  std::atomic<bool> scanned_ = false;  // set by the monitor thread, read by any
  std::atomic<bool> dirty_{false};
  std::unordered_multimap<size_t, CTARNNetTransferFile*> byPath_ GUARDED_BY(lock_);
  std::unordered_multimap<size_t, CTARNNetTransferFile*> byAttributes_ GUARDED_BY(lock_);
  std::unordered_map<const CTARNNetTransferFile*, _tagStructIndexed> indexed_ GUARDED_BY(lock_);
};

}  // namespace P2P::Shared::File::TransferFile
