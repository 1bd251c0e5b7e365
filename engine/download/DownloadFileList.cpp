#include "engine/download/DownloadFileList.h"

#include "engine/download/DownloadFileData.h"

namespace P2P::Shared::File::TransferFile {

bool CTARNNetDownloadFileList::Add(const FilePtr& file) {
  const auto data = file ? file->DataAs<CTARNNetDownloadFileData>() : nullptr;
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
  if (const auto data = held->DataAs<CTARNNetDownloadFileData>()) data->Detach();
  return ITARNNetTransferFilePtrListT::Remove(file);
}

void CTARNNetDownloadFileList::Clear() {
  for (const FilePtr& file : Snapshot())
    if (const auto data = file->DataAs<CTARNNetDownloadFileData>()) data->Detach();
  ITARNNetTransferFilePtrListT::Clear();
}

}  // namespace P2P::Shared::File::TransferFile
