// The reference-counted file object built on the shared-file record: getters and setters for
// every field, each taking a field lock (shared with other files, see FieldLocks.h) so that
// the monitor thread, sessions and the API may read and write fields concurrently. Any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/library/FieldLocks.h"
#include "engine/library/SharedFileRecord.h"
#include "framework/CriticalSection.h"
#include "framework/Reference.h"

namespace P2P::Shared::File {

// Every file object gets a distinct id; the API names files by it.
inline uint32_t NextFileId() {
  static std::atomic<uint32_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

// Kind 0: search results; kind 1: transfer files. The record is kept slim: the fields most
// files leave empty live in a block of their own, made when one of them is first set.
template <int Kind>
class CTARNNetSharedFileT : public OSTREL::CReferenceT<CTARNNetSharedFileT<Kind>> {
 public:
  CTARNNetSharedFileT() { value_.id = NextFileId(); }
  // A copy of `record` under a fresh id.
  explicit CTARNNetSharedFileT(const _tagStructSharedFile& record) : CTARNNetSharedFileT() {
    const uint32_t id = value_.id;
    Store(record);
    value_.id = id;
  }

#define TARN_FILE_FIELD(Name, Type, member)    \
  virtual Type Get##Name() const {             \
    OSTREL::Process::CLock guard(FieldLock()); \
    return value_.member;                      \
  }                                            \
  virtual void Set##Name(const Type& value) {  \
    OSTREL::Process::CLock guard(FieldLock()); \
    value_.member = value;                     \
  }
#define TARN_RARE_FIELD(Name, member)                             \
  virtual std::string Get##Name() const {                         \
    OSTREL::Process::CLock guard(FieldLock());                    \
    return rare_ ? rare_->member : std::string();                 \
  }                                                               \
  virtual void Set##Name(const std::string& value) {              \
    OSTREL::Process::CLock guard(FieldLock());                    \
    if (!rare_ && value.empty()) return;                          \
    if (!rare_) rare_ = std::make_unique<_tagStructRareFields>(); \
    rare_->member = value;                                        \
  }
  TARN_FILE_FIELD(Name, std::string, name)
  TARN_RARE_FIELD(TargetFolder, targetFolder)
  TARN_FILE_FIELD(FullPathName, std::string, fullPathName)
  TARN_RARE_FIELD(OtherName, otherName)
  TARN_FILE_FIELD(Size, uint64_t, size)
  TARN_FILE_FIELD(CreationTime, int64_t, creationTime)
  TARN_FILE_FIELD(LastWriteTime, int64_t, lastWriteTime)
  TARN_RARE_FIELD(Type, type)
  TARN_RARE_FIELD(Format, format)
  TARN_FILE_FIELD(Tag5Value, uint32_t, tag5Value)
  TARN_FILE_FIELD(SourceCount, uint32_t, sourceCount)
  TARN_FILE_FIELD(SecondCount, uint32_t, secondCount)
  TARN_FILE_FIELD(MediaBitrate, uint32_t, mediaBitrate)
  TARN_RARE_FIELD(MediaAlbum, mediaAlbum)
  TARN_RARE_FIELD(MediaArtist, mediaArtist)
  TARN_RARE_FIELD(MediaTitle, mediaTitle)
  TARN_RARE_FIELD(MediaCodec, mediaCodec)
  TARN_FILE_FIELD(MediaLengthValue, uint32_t, mediaLengthValue)
  TARN_RARE_FIELD(MediaLength, mediaLength)
  TARN_FILE_FIELD(Hash, _tagUnionHash, hash)
  TARN_FILE_FIELD(Id, uint32_t, id)
  TARN_FILE_FIELD(ClientId, uint32_t, clientId)
  TARN_FILE_FIELD(Port, uint16_t, port)
#undef TARN_RARE_FIELD
#undef TARN_FILE_FIELD

  // A consistent copy of the whole record.
  _tagStructSharedFile GetRecord() const {
    OSTREL::Process::CLock guard(FieldLock());
    _tagStructSharedFile record;
    record.hash = value_.hash;
    record.id = value_.id;
    record.clientId = value_.clientId;
    record.port = value_.port;
    _tagStructSharedFileInfo& info = record.info;
    info.name = value_.name;
    info.fullPathName = value_.fullPathName;
    info.size = value_.size;
    info.creationTime = value_.creationTime;
    info.lastWriteTime = value_.lastWriteTime;
    info.tag5Value = value_.tag5Value;
    info.sourceCount = value_.sourceCount;
    info.secondCount = value_.secondCount;
    info.mediaBitrate = value_.mediaBitrate;
    info.mediaLengthValue = value_.mediaLengthValue;
    if (rare_) {
      info.targetFolder = rare_->targetFolder;
      info.otherName = rare_->otherName;
      info.format = rare_->format;
      info.type = rare_->type;
      info.mediaAlbum = rare_->mediaAlbum;
      info.mediaArtist = rare_->mediaArtist;
      info.mediaTitle = rare_->mediaTitle;
      info.mediaCodec = rare_->mediaCodec;
      info.mediaLength = rare_->mediaLength;
    }
    return record;
  }
  // Replaces the descriptive fields; hash and id stay.
  void SetInfo(const _tagStructSharedFileInfo& info) {
    OSTREL::Process::CLock guard(FieldLock());
    StoreInfo(info);
  }

 protected:
  // The lock of the record's fields (shared with other files: see FieldLocks.h).
  OSTREL::Process::CMutex& FieldLock() const { return FieldLockFor(this); }

 private:
  struct _tagStructCommonFields {
    _tagUnionHash hash;
    uint32_t id = 0;
    uint32_t clientId = 0;
    uint16_t port = 0;
    uint64_t size = 0;
    int64_t creationTime = 0;
    int64_t lastWriteTime = 0;
    uint32_t tag5Value = 0;
    uint32_t sourceCount = 0;
    uint32_t secondCount = 0;
    uint32_t mediaBitrate = 0;
    uint32_t mediaLengthValue = 0;
    std::string name;
    std::string fullPathName;
  };
  struct _tagStructRareFields {
    std::string targetFolder;
    std::string otherName;
    std::string format;
    std::string type;
    std::string mediaAlbum;
    std::string mediaArtist;
    std::string mediaTitle;
    std::string mediaCodec;
    std::string mediaLength;
  };

  void Store(const _tagStructSharedFile& record) REQUIRES(FieldLock()) {
    value_.hash = record.hash;
    value_.id = record.id;
    value_.clientId = record.clientId;
    value_.port = record.port;
    StoreInfo(record.info);
  }
  void StoreInfo(const _tagStructSharedFileInfo& info) REQUIRES(FieldLock()) {
    value_.name = info.name;
    value_.fullPathName = info.fullPathName;
    value_.size = info.size;
    value_.creationTime = info.creationTime;
    value_.lastWriteTime = info.lastWriteTime;
    value_.tag5Value = info.tag5Value;
    value_.sourceCount = info.sourceCount;
    value_.secondCount = info.secondCount;
    value_.mediaBitrate = info.mediaBitrate;
    value_.mediaLengthValue = info.mediaLengthValue;
    const bool anyRare = !info.targetFolder.empty() || !info.otherName.empty() ||
                         !info.format.empty() || !info.type.empty() || !info.mediaAlbum.empty() ||
                         !info.mediaArtist.empty() || !info.mediaTitle.empty() ||
                         !info.mediaCodec.empty() || !info.mediaLength.empty();
    if (!anyRare) {
      rare_.reset();
      return;
    }
    if (!rare_) rare_ = std::make_unique<_tagStructRareFields>();
    rare_->targetFolder = info.targetFolder;
    rare_->otherName = info.otherName;
    rare_->format = info.format;
    rare_->type = info.type;
    rare_->mediaAlbum = info.mediaAlbum;
    rare_->mediaArtist = info.mediaArtist;
    rare_->mediaTitle = info.mediaTitle;
    rare_->mediaCodec = info.mediaCodec;
    rare_->mediaLength = info.mediaLength;
  }

  _tagStructCommonFields value_ GUARDED_BY(FieldLock());
  std::unique_ptr<_tagStructRareFields> rare_ GUARDED_BY(FieldLock());
};

}  // namespace P2P::Shared::File
