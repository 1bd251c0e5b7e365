#include "engine/download/DownloadFileManager.h"

#include <algorithm>

#include "engine/download/DownloadFileData.h"
#include "engine/download/PartFileNames.h"
#include "engine/protocol/Limits.h"
#include "engine/transfer/TransferFileList.h"
#include "engine/upload/UploadFileManager.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/LogText.h"
#include "platform/FileSystem.h"

namespace P2P {
namespace {

using Shared::File::TransferFile::CDownloadFileDataPtr;
using Shared::File::TransferFile::CTARNNetDownloadFileData;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTARNNetTransferFileList;

CTARNNetTransferFileList* TransferFiles() { return CTARNNetTransferFileList::GetInstance(); }

bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

CTARNNetDownloadFileManager::CTARNNetDownloadFileManager() { list_.SetEventSink(this); }
CTARNNetDownloadFileManager::~CTARNNetDownloadFileManager() { Stop(); }

bool CTARNNetDownloadFileManager::Start(const std::filesystem::path& tempPath,
                                        const std::filesystem::path& sharedPath) {
  tempPath_ = tempPath;
  sharedPath_ = sharedPath;
  RestoreAll();
  return true;
}

void CTARNNetDownloadFileManager::Stop() {
  for (const CTransferFilePtr& file : list_.Snapshot()) {
    file->Data()->Save();
    if (auto* files = CTARNNetTransferFileList::PeekInstance()) files->Remove(file.Get());
  }
  list_.Clear();
}

size_t CTARNNetDownloadFileManager::RestoreAll() {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(tempPath_, error)) {
    std::error_code typeError;
    if (entry.is_directory(typeError)) continue;
    if (EndsWith(entry.path().filename().string(), Shared::File::TransferFile::kMetadataSuffix))
      found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  // A download that was finished but not yet moved completes at its first statistics
  // sample, once the shared-file side has started too.
  size_t restored = 0;
  for (const std::filesystem::path& path : found)
    if (RestoreOne(path)) ++restored;
  return restored;
}

CTARNNetDownloadFileManager::CTransferFilePtr CTARNNetDownloadFileManager::RestoreOne(
    const std::filesystem::path& metadataPath) {
  CTransferFilePtr file(new CTARNNetTransferFile());
  CDownloadFileDataPtr data = CTARNNetDownloadFileData::Attach(file, &hooks_);
  if (!data->Restore(metadataPath.string())) {
    data->Detach();
    return {};
  }
  CTARNNetTransferFileList* files = TransferFiles();
  if (files->FindByHash(file->GetHash())) {
    OSTREL::LogWarning("Download metadata ", OSTREL::EscapeForLog(metadataPath.string()),
                       " repeats a file already known; left out");
    data->Detach();
    return {};
  }
  files->Add(file);
  list_.Add(file);
  return file;
}

std::string CTARNNetDownloadFileManager::UniqueTransferName(const std::string& name) const {
  CTARNNetTransferFileList* files = TransferFiles();
  if (!files->FindByName(name)) return name;
  for (uint32_t counter = 1;; ++counter) {
    std::string candidate = Shared::NumberedFileName(name, counter);
    if (!files->FindByName(candidate)) return candidate;
  }
}

CTARNNetDownloadFileManager::CTransferFilePtr CTARNNetDownloadFileManager::AddDownload(
    const Shared::_tagStructSharedFile& record, std::string* refusal) {
  if (record.info.size == 0 || record.info.size > Protocol::kMaxFileSize) return {};
  OSTREL::Process::CLock naming(namingLock_);
  CTARNNetTransferFileList* files = TransferFiles();
  if (CTransferFilePtr known = files->FindByHash(record.hash)) {
    if (!known->Data()->IsFinished()) return {};
    if (OSTREL::File::FileSystem().Stat(known->GetFullPathName())) return {};
    files->Remove(known.Get());  // shared once, but the file is gone
  }
  if (list_.FindByHash(record.hash)) return {};

  Shared::_tagStructSharedFile download = record;
  if (download.info.targetFolder.empty()) download.info.targetFolder = sharedPath_.string();
  download.info.name = UniqueTransferName(Shared::SafeFileName(record.info.name));
  CTransferFilePtr file(new CTARNNetTransferFile(download));
  CDownloadFileDataPtr data = CTARNNetDownloadFileData::Attach(file, &hooks_);
  if (!data->Create(tempPath_.string(), nullptr)) {
    if (refusal != nullptr) *refusal = data->FailureReason();
    data->Detach();
    return {};
  }
  files->Add(file);
  list_.Add(file);
  if (hooks_.requestSources) hooks_.requestSources(file->GetHash(), file->GetSize());
  return file;
}

bool CTARNNetDownloadFileManager::CompleteDownload(const CTransferFilePtr& file) {
  if (!file || !file->Data()->IsFinished() || !list_.FindById(file->GetId())) return false;
  const bool moved = MoveIntoTargetFolder(file);
  // A completion is told once and in one order: the finished download (at its new place)
  // while it is still listed, then its one removal. A download that could not be moved stays
  // listed, finished, and is not removed.
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadCompleted, file->GetRecord());
  if (!moved) return false;
  // Shared before its removal is told, so that a client acting on the removal reads the
  // download's item as the complete file it now is.
  list_.Remove(file.Get());
  if (uploads_ != nullptr) uploads_->AddSharedFile(file);
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadRemoved, file->GetRecord());
  return true;
}

bool CTARNNetDownloadFileManager::MoveIntoTargetFolder(const CTransferFilePtr& file) {
  OSTREL::Process::CLock naming(namingLock_);
  std::filesystem::path folder = file->GetTargetFolder();
  if (folder.empty()) folder = sharedPath_;
  OSTREL::File::FileSystem().CreateFolders(folder);
  const auto target = Shared::File::TransferFile::FreePathInFolder(folder, file->GetName());
  return target && file->Data()->MoveTo(target->string());
}

bool CTARNNetDownloadFileManager::RemoveDownload(const CTransferFilePtr& file) {
  if (!file || !list_.FindById(file->GetId())) return false;
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadRemoved, file->GetRecord());
  file->SetHash(_tagUnionHash{});
  DropFromLists(file);
  return true;
}

bool CTARNNetDownloadFileManager::CancelDownload(const CTransferFilePtr& file) {
  if (!file || !list_.FindById(file->GetId())) return false;
  return file->Data()->Cancel();  // the removed event comes back through OnDownloadRemoved
}

void CTARNNetDownloadFileManager::DropFromLists(const CTransferFilePtr& file) {
  list_.Remove(file.Get());
  if (auto* files = CTARNNetTransferFileList::PeekInstance()) files->Remove(file.Get());
}

std::vector<Protocol::SSourceRequestEntry> CTARNNetDownloadFileManager::DownloadsNeedingSources()
    const {
  std::vector<Protocol::SSourceRequestEntry> entries;
  for (const CTransferFilePtr& file : list_.Snapshot()) {
    const auto data = file->DataAs<CTARNNetDownloadFileData>();
    if (data != nullptr && data->NeedsSources())
      entries.push_back({file->GetHash(), file->GetSize()});
  }
  return entries;
}

bool CTARNNetDownloadFileManager::AddSource(const _tagUnionHash& hash, uint32_t clientId,
                                            uint16_t port, uint32_t serverAddress,
                                            uint16_t serverPort) {
  CTransferFilePtr file = list_.FindByHash(hash);
  return file && file->Data()->AddSource(clientId, port, serverAddress, serverPort);
}

void CTARNNetDownloadFileManager::OnDownloadAdded(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadAdded, file);
}

void CTARNNetDownloadFileManager::OnDownloadChanged(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadChanged, file);
}

void CTARNNetDownloadFileManager::OnDownloadProgress(const Shared::_tagStructSharedFile& file,
                                                     uint64_t completedBytes,
                                                     uint64_t receivedBytes) {
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadProgress, file, completedBytes, receivedBytes);
}

// The completion event reaches the handlers from CompleteDownload, once the file is in place.
void CTARNNetDownloadFileManager::OnDownloadCompleted(const Shared::_tagStructSharedFile& file) {
  if (CTransferFilePtr held = list_.FindById(file.id)) {
    CompleteDownload(held);
  } else {
    FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadCompleted, file);
  }
}

void CTARNNetDownloadFileManager::OnDownloadRemoved(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadRemoved, file);
  if (CTransferFilePtr held = list_.FindById(file.id)) DropFromLists(held);
}

void CTARNNetDownloadFileManager::OnDownloadNotice(uint32_t value) {
  FanOut(&ITARNNetP2PDownloadEventHandler::OnDownloadNotice, value);
}

}  // namespace P2P
