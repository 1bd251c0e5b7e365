#include "engine/upload/UploadFileList.h"

#include <cctype>
#include <functional>

#include "engine/library/SharedDatFile.h"
#include "engine/upload/UploadFileData.h"
#include "framework/CriticalSection.h"
#include "platform/AtomicFile.h"

namespace P2P::Shared::File::TransferFile {
namespace {

template <typename Index, typename Key>
void EraseEntry(Index& index, const Key& key, const CTARNNetTransferFile* file) {
  const auto [first, last] = index.equal_range(key);
  for (auto it = first; it != last; ++it)
    if (it->second == file) {
      index.erase(it);
      return;
    }
}

}  // namespace

void CTARNNetUploadFileList::SetEventSink(ITARNNetP2PSharedFileEventHandler* sink) {
  OSTREL::Process::CLock guard(sinkLock_);
  sink_ = sink;
}

size_t CTARNNetUploadFileList::AttributesKey(const std::string& name, uint64_t size,
                                             int64_t creationTime, int64_t lastWriteTime) {
  // FNV-1a over the name folded to lower case, without a folded copy.
  size_t key = 1469598103934665603u;
  for (const char c : name)
    key = (key ^ static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)))) *
          1099511628211u;
  for (const uint64_t part :
       {uint64_t{size}, static_cast<uint64_t>(creationTime), static_cast<uint64_t>(lastWriteTime)})
    key = key * 1000003u ^ std::hash<uint64_t>()(part);
  return key;
}

void CTARNNetUploadFileList::IndexLocked(CTARNNetTransferFile* file) {
  const _tagStructSharedFileInfo info = file->GetRecord().info;
  const _tagStructIndexed entry{
      PathKey(info.fullPathName),
      AttributesKey(info.name, info.size, info.creationTime, info.lastWriteTime)};
  byPath_.emplace(entry.pathKey, file);
  byAttributes_.emplace(entry.attributesKey, file);
  indexed_[file] = entry;
}

void CTARNNetUploadFileList::UnindexLocked(const CTARNNetTransferFile* file) {
  const auto held = indexed_.find(file);
  if (held == indexed_.end()) return;
  EraseEntry(byPath_, held->second.pathKey, file);
  EraseEntry(byAttributes_, held->second.attributesKey, file);
  indexed_.erase(held);
}

void CTARNNetUploadFileList::Reindex(const CTARNNetTransferFile* file) {
  OSTREL::Process::CLock guard(lock_);
  if (!Contains(file)) return;
  UnindexLocked(file);
  IndexLocked(const_cast<CTARNNetTransferFile*>(file));
  MarkDirty();
}

bool CTARNNetUploadFileList::AddAndAnnounce(const FilePtr& file) {
  {
    OSTREL::Process::CLock guard(lock_);
    if (!ITARNNetTransferFilePtrListT::Add(file)) return false;
    IndexLocked(file.Get());
  }
  OSTREL::Process::CLock guard(sinkLock_);
  if (const auto upload = file->DataAs<CTARNNetUploadFileData>()) upload->SetEventSink(sink_);
  if (sink_ != nullptr) sink_->OnSharedFileAdded(file->GetRecord());
  return true;
}

bool CTARNNetUploadFileList::Add(const FilePtr& file) {
  if (!AddAndAnnounce(file)) return false;
  MarkDirty();
  return true;
}

bool CTARNNetUploadFileList::AddLoaded(const FilePtr& file) { return AddAndAnnounce(file); }

bool CTARNNetUploadFileList::Remove(const CTARNNetTransferFile* file) {
  if (!Contains(file)) return false;
  FilePtr held(const_cast<CTARNNetTransferFile*>(file));
  {
    OSTREL::Process::CLock guard(sinkLock_);
    if (sink_ != nullptr) sink_->OnSharedFileRemoved(held->GetRecord());
  }
  if (const auto upload = held->DataAs<CTARNNetUploadFileData>()) upload->Detach();
  OSTREL::Process::CLock guard(lock_);
  UnindexLocked(file);
  if (!ITARNNetTransferFilePtrListT::Remove(file)) return false;
  MarkDirty();
  return true;
}

void CTARNNetUploadFileList::Clear() {
  for (const FilePtr& file : Snapshot())
    if (const auto upload = file->DataAs<CTARNNetUploadFileData>()) upload->Detach();
  OSTREL::Process::CLock guard(lock_);
  byPath_.clear();
  byAttributes_.clear();
  indexed_.clear();
  ITARNNetTransferFilePtrListT::Clear();
}

CTARNNetUploadFileList::FilePtr CTARNNetUploadFileList::FindByPath(
    const std::string& fullPath) const {
  OSTREL::Process::CLock guard(lock_);
  const auto [first, last] = byPath_.equal_range(PathKey(fullPath));
  for (auto it = first; it != last; ++it)
    if (it->second->GetFullPathName() == fullPath) return FilePtr(it->second);
  return FilePtr();
}

std::vector<CTARNNetUploadFileList::FilePtr> CTARNNetUploadFileList::FindAllByNameSizeTimes(
    const std::string& name, uint64_t size, int64_t creationTime, int64_t lastWriteTime) const {
  std::vector<FilePtr> found;
  OSTREL::Process::CLock guard(lock_);
  const auto [first, last] =
      byAttributes_.equal_range(AttributesKey(name, size, creationTime, lastWriteTime));
  for (auto it = first; it != last; ++it) {
    const _tagStructSharedFileInfo info = it->second->GetRecord().info;
    if (FileNameEquals(info.name, name) && info.size == size && info.creationTime == creationTime &&
        info.lastWriteTime == lastWriteTime)
      found.emplace_back(it->second);
  }
  return found;
}

bool CTARNNetUploadFileList::Save() {
  if (sharedDatPath_.empty()) return false;
  OSTREL::Process::CLock guard(saveLock_);
  // Cleared first: a change made while the text is built marks the list again.
  dirty_.store(false);
  const std::vector<FilePtr> files = Snapshot();
  // Written in pieces of about a megabyte: the text of 100,000 entries is tens of megabytes.
  constexpr size_t kPieceBytes = 1 << 20;
  const auto produce = [&files](const OSTREL::File::CContentWriter& write) {
    std::string text;
    text.reserve(kPieceBytes + 4096);
    BeginSharedDatText(text);
    for (const FilePtr& file : files) {
      AppendSharedDatEntry(text, file->GetRecord());
      if (text.size() < kPieceBytes) continue;
      if (!write(text)) return false;
      text.clear();
    }
    EndSharedDatText(text, !files.empty());
    return write(text);
  };
  if (OSTREL::File::WriteFileAtomically(sharedDatPath_, produce)) return true;
  dirty_.store(true);
  return false;
}

}  // namespace P2P::Shared::File::TransferFile
