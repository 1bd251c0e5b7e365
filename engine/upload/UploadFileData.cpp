#include "engine/upload/UploadFileData.h"

#include <system_error>

#include "engine/hashing/AICHStore.h"
#include "engine/hashing/FileHasher.h"
#include "engine/library/FileTime.h"
#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"
#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {
namespace {

// A plain rename would silently replace a file already at the target.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
  return OSTREL::File::FileSystem().RenameNoReplace(from, to);
}

}  // namespace

CUploadFileDataPtr CTARNNetUploadFileData::Attach(const CTransferFilePtr& file,
                                                  const _tagStructUploadSettings& settings) {
  return Attach(file, std::make_shared<const _tagStructUploadSettings>(settings));
}

CUploadFileDataPtr CTARNNetUploadFileData::Attach(
    const CTransferFilePtr& file, std::shared_ptr<const _tagStructUploadSettings> settings) {
  CUploadFileDataPtr data(new CTARNNetUploadFileData(file, std::move(settings)));
  file->AttachData(data);
  return data;
}

void CTARNNetUploadFileData::Detach() {
  const CUploadFileDataPtr self = shared_from_this();  // the file may hold the last reference
  file_->DetachData(this);
}

void CTARNNetUploadFileData::SetEventSink(ITARNNetP2PSharedFileEventHandler* sink) {
  OSTREL::Process::CLock guard(sinkLock_);
  sink_ = sink;
}

bool CTARNNetUploadFileData::Create(const std::string& path, OSTREL::Process::CEvent* stopEvent) {
  HASH::_tagStructHashingOptions options;
  options.pauseMilliseconds = settings_->hashingPauseMs;
  options.abortEvent = stopEvent;
  OSTREL::Process::CCriticalSection* lock =
      settings_->hashingLock != nullptr ? settings_->hashingLock : &HASH::HashingLock();
  options.hashingLock = lock;
  const std::filesystem::path folder = settings_->configFolder;
  if (settings_->storeTree)
    options.onHashed = settings_->storeTree;
  else if (!folder.empty())
    options.onHashed = [folder, lock](const _tagUnionHash& hash,
                                      const HASH::CTARNNetAICHTree& tree) {
      HASH::SaveAICHTree(folder, hash, tree, *lock);
    };
  HASH::CTARNNetFileHasher hasher(options);
  _tagUnionHash hash;
  {
    OSTREL::Process::CLock guard(file_->LockObject());
    if (!hasher.HashFile(path, file_->HashSet(), hash)) return false;
  }
  file_->SetHash(hash);
  TakeAttributes(path);
  return true;
}

bool CTARNNetUploadFileData::TakeAttributes(const std::string& path) {
  const auto attributes = ReadFileAttributes(path);
  if (!attributes || attributes->size == 0 || attributes->size > Protocol::kMaxFileSize)
    return false;
  _tagStructSharedFileInfo info = file_->GetRecord().info;
  info.fullPathName = path;
  info.name = std::filesystem::path(path).filename().string();
  info.size = attributes->size;
  info.creationTime = attributes->creationTime;
  info.lastWriteTime = attributes->lastWriteTime;
  file_->SetInfo(info);
  return true;
}

bool CTARNNetUploadFileData::Restore(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::exists(path, error);
}

bool CTARNNetUploadFileData::ReadRange(uint64_t start, uint64_t end, std::vector<uint8_t>& data) {
  if (end < start) return false;
  const auto file =
      OSTREL::File::FileSystem().Open(file_->GetFullPathName(), OSTREL::File::EOpenMode::kRead);
  if (!file) return false;
  std::vector<uint8_t> buffer(end - start);
  // A short read means the file shrank under us: no partial block goes out.
  const auto got = file->ReadAt(start, buffer);
  if (!got || *got != buffer.size()) return false;
  data = std::move(buffer);
  return true;
}

bool CTARNNetUploadFileData::MoveTo(const std::string& newPath) {
  bool moved = false;
  {
    OSTREL::Process::CLock guard(file_->LockObject());
    const std::string oldPath = file_->GetFullPathName();
    if (newPath.empty() || newPath == oldPath) return false;
    std::error_code error;
    // The file may already be at the new place (renamed on disk): then there is nothing to move.
    const bool oldExists = std::filesystem::exists(oldPath, error);
    if (oldExists && !MoveWithoutReplacing(oldPath, newPath)) return false;
    moved = TakeAttributes(newPath);
  }
  if (!moved) return false;
  const _tagStructSharedFile record = file_->GetRecord();
  OSTREL::Process::CLock guard(sinkLock_);
  if (sink_ != nullptr) sink_->OnSharedFileChanged(record);
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
