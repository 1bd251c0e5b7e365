// The file-list templates every file list of the engine is built from: referenced file
// objects (one reference per entry) under the list's own lock, with lookups by position,
// hash, id and name, and writing the list as offer records. ITARNNetSharedFileListT adds
// reading offer records from the network. Membership, hash and id are indexed, so lists of
// 100,000 files stay fast; a file's hash and id must not change while it is listed (lookups
// check them and miss rather than answer wrong). Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/library/OfferRecord.h"
#include "framework/CriticalSection.h"
#include "framework/ReferencePtr.h"

namespace P2P::Shared::File::TransferFile {

struct _tagStructHashKey {
  size_t operator()(const _tagUnionHash& hash) const {
    size_t key = 0;
    for (size_t i = 0; i < sizeof key; ++i) key = (key << 8) | hash.bytes[i];
    return key;
  }
};

template <typename File>
class ITARNNetTransferFilePtrListT {
 public:
  using FilePtr = OSTREL::CReferencePtr<File>;

  virtual ~ITARNNetTransferFilePtrListT() = default;

  virtual void Lock() ACQUIRE(lock_) { lock_.lock(); }
  virtual void Unlock() RELEASE(lock_) { lock_.unlock(); }

  virtual bool Add(const FilePtr& file) {
    if (!file) return false;
    OSTREL::Process::CLock guard(lock_);
    if (!members_.insert(file.Get()).second) return false;
    files_.push_back(file);
    byHash_.emplace(file->GetHash(), file.Get());
    byId_.emplace(file->GetId(), file.Get());
    return true;
  }
  virtual bool Remove(const File* file) {
    FilePtr dropped;  // released after the lock
    OSTREL::Process::CLock guard(lock_);
    if (members_.erase(file) == 0) return false;
    EraseIndexed(byHash_, file->GetHash(), file);
    EraseIndexed(byId_, file->GetId(), file);
    for (auto it = files_.end(); it != files_.begin();) {
      --it;  // recent files are removed most often
      if (it->Get() == file) {
        dropped = std::move(*it);
        files_.erase(it);
        break;
      }
    }
    return true;
  }
  virtual void Clear() {
    std::vector<FilePtr> dropped;
    OSTREL::Process::CLock guard(lock_);
    dropped.swap(files_);
    members_.clear();
    byHash_.clear();
    byId_.clear();
  }
  bool Contains(const File* file) const {
    OSTREL::Process::CLock guard(lock_);
    return members_.count(file) != 0;
  }
  size_t Count() const {
    OSTREL::Process::CLock guard(lock_);
    return files_.size();
  }
  // Counting from 1.
  FilePtr At(size_t position) const {
    OSTREL::Process::CLock guard(lock_);
    return position >= 1 && position <= files_.size() ? files_[position - 1] : FilePtr();
  }
  std::vector<FilePtr> Snapshot() const {
    OSTREL::Process::CLock guard(lock_);
    return files_;
  }
  // The first listed file with `hash`, in list order.
  FilePtr FindByHash(const _tagUnionHash& hash) const {
    OSTREL::Process::CLock guard(lock_);
    const auto [first, last] = byHash_.equal_range(hash);
    if (first == last) return FilePtr();
    // Several files with one hash (downloads on their way out): list order decides.
    if (std::next(first) != last)
      return FindIf([&hash](const File& file) { return file.GetHash() == hash; });
    return first->second->GetHash() == hash ? FilePtr(first->second) : FilePtr();
  }
  FilePtr FindById(uint32_t id) const {
    OSTREL::Process::CLock guard(lock_);
    const auto found = byId_.find(id);
    if (found == byId_.end() || found->second->GetId() != id) return FilePtr();
    return FilePtr(found->second);
  }
  FilePtr FindByNameSizeTimes(const std::string& name, uint64_t size, int64_t creationTime,
                              int64_t lastWriteTime) const {
    return FindIf([&](const File& file) {
      const _tagStructSharedFileInfo info = file.GetRecord().info;
      return FileNameEquals(info.name, name) && info.size == size &&
             info.creationTime == creationTime && info.lastWriteTime == lastWriteTime;
    });
  }
  FilePtr FindByName(const std::string& name) const {
    return FindIf([&name](const File& file) { return FileNameEquals(file.GetName(), name); });
  }

  // A uint32 count, then one offer record per file (each with its own client id and port).
  bool WriteOfferRecords(Protocol::CStreamWriter& writer,
                         const _tagStructOfferOptions& options) const {
    OSTREL::Process::CLock guard(lock_);
    std::vector<uint8_t> bytes;
    Protocol::CStreamWriter out(bytes);
    out.WriteUInt32(static_cast<uint32_t>(files_.size()));
    for (const FilePtr& file : files_)
      if (!WriteOfferRecord(out, file->GetRecord(), options)) return false;
    return writer.WriteBytes(bytes);
  }

 protected:
  template <typename Predicate>
  FilePtr FindIf(Predicate matches) const {
    OSTREL::Process::CLock guard(lock_);
    for (const FilePtr& file : files_)
      if (matches(*file)) return file;
    return FilePtr();
  }

  // Erases `file` under `key`; a key changed behind the list's back costs a full pass.
  template <typename Index, typename Key>
  static void EraseIndexed(Index& index, const Key& key, const File* file) {
    const auto [first, last] = index.equal_range(key);
    for (auto it = first; it != last; ++it)
      if (it->second == file) {
        index.erase(it);
        return;
      }
    std::erase_if(index, [file](const auto& entry) { return entry.second == file; });
  }

  mutable OSTREL::Process::CCriticalSection lock_;
  std::vector<FilePtr> files_ GUARDED_BY(lock_);

 private:
  std::unordered_set<const File*> members_ GUARDED_BY(lock_);
  std::unordered_multimap<_tagUnionHash, File*, _tagStructHashKey> byHash_ GUARDED_BY(lock_);
  std::unordered_map<uint32_t, File*> byId_ GUARDED_BY(lock_);
};

}  // namespace P2P::Shared::File::TransferFile

namespace P2P::Shared::File {

template <typename File>
class ITARNNetSharedFileListT : public TransferFile::ITARNNetTransferFilePtrListT<File> {
 public:
  using FilePtr = OSTREL::CReferencePtr<File>;

  // The listed file with the record's hash, else a new file object made from the record.
  virtual FilePtr AddFromRecord(const _tagStructSharedFile& record) {
    OSTREL::Process::CLock guard(this->lock_);
    if (FilePtr held = this->FindByHash(record.hash)) return held;
    FilePtr file(new File(record));
    this->Add(file);
    return file;
  }
  FilePtr ReadOfferRecordAndAdd(Protocol::CStreamReader& reader) {
    const auto record = ReadOfferRecord(reader);
    return record ? AddFromRecord(*record) : FilePtr();
  }
  // A uint32 count, then that many records; nothing is added unless all of them read.
  bool ReadOfferList(Protocol::CStreamReader& reader) {
    const auto records = P2P::Shared::File::ReadOfferList(reader);
    if (!records) return false;
    for (const _tagStructSharedFile& record : *records) AddFromRecord(record);
    return true;
  }
};

}  // namespace P2P::Shared::File
