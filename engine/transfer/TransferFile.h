// A file the engine moves over the network: the shared-file record plus a lock, the part
// completion bitmap, the known sources and the hash set. It holds no transfer logic: that is
// in the download or upload object attached to it (ITARNNetTransferFileData); a file with
// none attached answers as complete and does nothing. Reference counted; any thread, the
// file's lock guards its transfer state.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/hashing/FileHashSet.h"
#include "engine/hashing/HashConstants.h"
#include "engine/library/SharedFile.h"
#include "engine/transfer/PeerList.h"
#include "engine/transfer/TransferFileData.h"
#include "framework/CriticalSection.h"
#include "framework/ReferencePtr.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetTransferFile : public CTARNNetSharedFileT<1> {
 public:
  CTARNNetTransferFile() = default;
  explicit CTARNNetTransferFile(const _tagStructSharedFile& record)
      : CTARNNetSharedFileT<1>(record) {}

  virtual void Lock() ACQUIRE(lock_) { lock_.lock(); }
  virtual void Unlock() RELEASE(lock_) { lock_.unlock(); }
  OSTREL::Process::CCriticalSection& LockObject() RETURN_CAPABILITY(lock_) { return lock_; }

  // The download or upload object attached, or (none attached) one that does nothing and
  // answers as a complete file. The caller's reference keeps it alive through a detach.
  std::shared_ptr<ITARNNetTransferFileData> Data() const;
  // The attached object when it is a `T`, else null.
  template <typename T>
  std::shared_ptr<T> DataAs() const {
    return std::dynamic_pointer_cast<T>(Data());
  }
  // Attaching replaces whatever the file carried. The attached object usually holds the file
  // in turn; detaching breaks that cycle.
  void AttachData(std::shared_ptr<ITARNNetTransferFileData> data);
  // Detaches `data` when it is the one attached; true when it was.
  bool DetachData(const ITARNNetTransferFileData* data);

  uint32_t PartCount() const { return HASH::PartCount(GetSize()); }
  // The transfer state; hold LockObject() while using it.
  Remote::Peer::CTARNNetPeerList& Sources() REQUIRES(lock_) { return sources_; }
  HASH::CTARNNetFileHashSet& HashSet() REQUIRES(lock_) { return hashSet_; }
  // One byte per part, 1 when complete and verified; empty when nothing is recorded.
  std::vector<uint8_t>& CompletionBitmap() REQUIRES(lock_) { return completion_; }

 private:
  mutable OSTREL::Process::CCriticalSection lock_;
  std::shared_ptr<ITARNNetTransferFileData> data_ GUARDED_BY(FieldLock());
  std::vector<uint8_t> completion_ GUARDED_BY(lock_);
  Remote::Peer::CTARNNetPeerList sources_ GUARDED_BY(lock_);
  HASH::CTARNNetFileHashSet hashSet_ GUARDED_BY(lock_);
};

using CTransferFilePtr = OSTREL::CReferencePtr<CTARNNetTransferFile>;

}  // namespace P2P::Shared::File::TransferFile
