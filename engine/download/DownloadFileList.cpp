#include "engine/download/DownloadFileList.h"

#include "engine/download/DownloadFileData.h"

namespace P2P::Shared::File::TransferFile {

bool CTARNNetDownloadFileList::Add(const FilePtr& file) {
  CTARNNetDownloadFileData* data = file ? DownloadDataOf(*file) : nullptr;
  if (data == nullptr) return false;
  data->SetEventSink(sink_);
  if (!ITARNNetTransferFilePtrListT::Add(file)) return false;
  if (sink_ != nullptr) sink_->OnDownloadAdded(file->GetRecord());
  return true;
}

bool CTARNNetDownloadFileList::Remove(const CTARNNetTransferFile* file) {
  FilePtr held;
  for (const FilePtr& entry : Snapshot())
    if (entry.Get() == file) held = entry;
  if (!held) return false;
  if (CTARNNetDownloadFileData* data = DownloadDataOf(*held)) data->Detach();
  return ITARNNetTransferFilePtrListT::Remove(file);
}

void CTARNNetDownloadFileList::Clear() {
  for (const FilePtr& file : Snapshot())
    if (CTARNNetDownloadFileData* data = DownloadDataOf(*file)) data->Detach();
  ITARNNetTransferFilePtrListT::Clear();
}

}  // namespace P2P::Shared::File::TransferFile
