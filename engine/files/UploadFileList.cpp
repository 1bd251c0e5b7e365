#include "engine/files/UploadFileList.h"

#include "engine/files/SharedDatFile.h"
#include "engine/files/UploadFileData.h"

namespace P2P::Shared::File::TransferFile {

void CTARNNetUploadFileList::SetEventSink(ITARNNetP2PSharedFileEventHandler* sink) {
  std::lock_guard guard(sinkLock_);
  sink_ = sink;
}

bool CTARNNetUploadFileList::AddAndAnnounce(const FilePtr& file) {
  if (!ITARNNetTransferFilePtrListT::Add(file)) return false;
  std::lock_guard guard(sinkLock_);
  if (CTARNNetUploadFileData* upload = UploadDataOf(*file)) upload->SetEventSink(sink_);
  if (sink_ != nullptr) sink_->OnSharedFileAdded(file->GetRecord());
  return true;
}

bool CTARNNetUploadFileList::Add(const FilePtr& file) {
  if (!AddAndAnnounce(file)) return false;
  Save();
  return true;
}

bool CTARNNetUploadFileList::AddLoaded(const FilePtr& file) { return AddAndAnnounce(file); }

bool CTARNNetUploadFileList::Remove(const CTARNNetTransferFile* file) {
  FilePtr held = FindIf([file](const CTARNNetTransferFile& listed) { return &listed == file; });
  if (!held) return false;
  {
    std::lock_guard guard(sinkLock_);
    if (sink_ != nullptr) sink_->OnSharedFileRemoved(held->GetRecord());
  }
  if (CTARNNetUploadFileData* upload = UploadDataOf(*held)) upload->Detach();
  return ITARNNetTransferFilePtrListT::Remove(file);
}

void CTARNNetUploadFileList::Clear() {
  for (const FilePtr& file : Snapshot())
    if (CTARNNetUploadFileData* upload = UploadDataOf(*file)) upload->Detach();
  ITARNNetTransferFilePtrListT::Clear();
}

bool CTARNNetUploadFileList::Save() const {
  if (sharedDatPath_.empty()) return false;
  std::vector<_tagStructSharedFile> records;
  for (const FilePtr& file : Snapshot()) records.push_back(file->GetRecord());
  std::lock_guard guard(saveLock_);
  return SaveSharedDat(sharedDatPath_, records);
}

}  // namespace P2P::Shared::File::TransferFile
