// The file-list templates every file list of the engine is built from: referenced file
// objects (one reference per entry) under the list's own lock, with lookups by position,
// hash, id and name, and writing the list as offer records. ITARNNetSharedFileListT adds
// reading offer records from the network. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/files/OfferRecord.h"
#include "framework/CriticalSection.h"
#include "framework/ReferencePtr.h"

namespace P2P::Shared::File::TransferFile {

template <typename File>
class ITARNNetTransferFilePtrListT {
 public:
  using FilePtr = OSTREL::CReferencePtr<File>;

  virtual ~ITARNNetTransferFilePtrListT() = default;

  virtual void Lock() { lock_.lock(); }
  virtual void Unlock() { lock_.unlock(); }

  virtual bool Add(const FilePtr& file) {
    if (!file) return false;
    OSTREL::Process::CLock guard(lock_);
    for (const FilePtr& held : files_)
      if (held == file) return false;
    files_.push_back(file);
    return true;
  }
  virtual bool Remove(const File* file) {
    OSTREL::Process::CLock guard(lock_);
    return std::erase_if(files_, [file](const FilePtr& held) { return held.Get() == file; }) != 0;
  }
  virtual void Clear() {
    std::vector<FilePtr> dropped;
    OSTREL::Process::CLock guard(lock_);
    dropped.swap(files_);
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
  FilePtr FindByHash(const _tagUnionHash& hash) const {
    return FindIf([&hash](const File& file) { return file.GetHash() == hash; });
  }
  FilePtr FindById(uint32_t id) const {
    return FindIf([id](const File& file) { return file.GetId() == id; });
  }
  FilePtr FindByNameSizeTimes(const std::string& name, uint32_t size, int64_t creationTime,
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

  mutable OSTREL::Process::CCriticalSection lock_;
  std::vector<FilePtr> files_;
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
