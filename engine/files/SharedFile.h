// The reference-counted file object built on the shared-file record: getters and setters for
// every field, each taking the record's own small lock so that the monitor thread, sessions
// and the API may read and write fields concurrently. Any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/files/SharedFileRecord.h"
#include "framework/Reference.h"

namespace P2P::Shared::File {

// Every file object gets a distinct id; the API names files by it.
inline uint32_t NextFileId() {
  static std::atomic<uint32_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

// Kind 0: search results; kind 1: transfer files.
template <int Kind>
class CTARNNetSharedFileT : public OSTREL::CReferenceT<CTARNNetSharedFileT<Kind>> {
 public:
  CTARNNetSharedFileT() : record_(std::make_shared<Record>()) { record_->value.id = NextFileId(); }
  // A copy of `record` under a fresh id.
  explicit CTARNNetSharedFileT(const _tagStructSharedFile& record) : CTARNNetSharedFileT() {
    const uint32_t id = record_->value.id;
    record_->value = record;
    record_->value.id = id;
  }

#define TARN_FILE_FIELD(Name, Type, member)   \
  virtual Type Get##Name() const {            \
    std::lock_guard guard(record_->lock);     \
    return record_->value.member;             \
  }                                           \
  virtual void Set##Name(const Type& value) { \
    std::lock_guard guard(record_->lock);     \
    record_->value.member = value;            \
  }
  TARN_FILE_FIELD(Name, std::string, info.name)
  TARN_FILE_FIELD(TargetFolder, std::string, info.targetFolder)
  TARN_FILE_FIELD(FullPathName, std::string, info.fullPathName)
  TARN_FILE_FIELD(OtherName, std::string, info.otherName)
  TARN_FILE_FIELD(Size, uint32_t, info.size)
  TARN_FILE_FIELD(CreationTime, int64_t, info.creationTime)
  TARN_FILE_FIELD(LastWriteTime, int64_t, info.lastWriteTime)
  TARN_FILE_FIELD(Type, std::string, info.type)
  TARN_FILE_FIELD(Format, std::string, info.format)
  TARN_FILE_FIELD(Tag5Value, uint32_t, info.tag5Value)
  TARN_FILE_FIELD(SourceCount, uint32_t, info.sourceCount)
  TARN_FILE_FIELD(SecondCount, uint32_t, info.secondCount)
  TARN_FILE_FIELD(MediaBitrate, uint32_t, info.mediaBitrate)
  TARN_FILE_FIELD(MediaAlbum, std::string, info.mediaAlbum)
  TARN_FILE_FIELD(MediaArtist, std::string, info.mediaArtist)
  TARN_FILE_FIELD(MediaTitle, std::string, info.mediaTitle)
  TARN_FILE_FIELD(MediaCodec, std::string, info.mediaCodec)
  TARN_FILE_FIELD(MediaLengthValue, uint32_t, info.mediaLengthValue)
  TARN_FILE_FIELD(MediaLength, std::string, info.mediaLength)
  TARN_FILE_FIELD(Hash, _tagUnionHash, hash)
  TARN_FILE_FIELD(Id, uint32_t, id)
  TARN_FILE_FIELD(ClientId, uint32_t, clientId)
  TARN_FILE_FIELD(Port, uint16_t, port)
#undef TARN_FILE_FIELD

  // A consistent copy of the whole record.
  _tagStructSharedFile GetRecord() const {
    std::lock_guard guard(record_->lock);
    return record_->value;
  }
  // Replaces the descriptive fields; hash and id stay.
  void SetInfo(const _tagStructSharedFileInfo& info) {
    std::lock_guard guard(record_->lock);
    record_->value.info = info;
  }

 private:
  struct Record {
    std::mutex lock;
    _tagStructSharedFile value;
  };
  std::shared_ptr<Record> record_;
};

}  // namespace P2P::Shared::File
