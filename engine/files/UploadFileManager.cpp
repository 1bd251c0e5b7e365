#include "engine/files/UploadFileManager.h"

#include <system_error>

#include "engine/files/FileTime.h"
#include "engine/files/SharedDatFile.h"
#include "engine/files/SharedFolderScan.h"
#include "engine/files/TransferFileList.h"

namespace P2P {

using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTARNNetTransferFileList;
using Shared::File::TransferFile::CTARNNetUploadFileData;
using Shared::File::TransferFile::UploadDataOf;
namespace fs = std::filesystem;

namespace {

bool PathExists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(path, error);
}

CTARNNetTransferFileList* TransferFiles() { return CTARNNetTransferFileList::GetInstance(); }

}  // namespace

CTARNNetUploadFileManager::CTARNNetUploadFileManager() : monitor_(*this) {
  constexpr uint32_t kFilter = OSTREL::File::CPathMonitor::kChangeFileName |
                               OSTREL::File::CPathMonitor::kChangeDirName |
                               OSTREL::File::CPathMonitor::kChangeLastWrite;
  monitor_.SetFilter(kFilter);
}

CTARNNetUploadFileManager::~CTARNNetUploadFileManager() { Stop(); }

bool CTARNNetUploadFileManager::Start(const fs::path& configPath, const fs::path& sharedPath,
                                      uint32_t hashingPauseMs) {
  if (started_) return true;
  std::error_code error;
  settings_.configFolder = configPath;
  settings_.hashingPauseMs = hashingPauseMs;
  sharedPath_ = fs::absolute(sharedPath, error).lexically_normal();
  list_.SetSharedDatPath(configPath / Shared::File::kSharedDatFileName);
  list_.SetScanned(false);
  list_.SetEventSink(this);
  LoadSharedDat();
  monitor_.SetPath(sharedPath_);
  started_ = monitor_.Start();
  return started_;
}

void CTARNNetUploadFileManager::Stop() {
  if (!started_) return;
  started_ = false;
  monitor_.Stop();
  list_.SetEventSink(nullptr);
  list_.Save();
  if (CTARNNetTransferFileList* files = CTARNNetTransferFileList::PeekInstance())
    for (const CTransferFilePtr& file : list_.Snapshot()) files->Remove(file.Get());
  list_.Clear();
}

void CTARNNetUploadFileManager::LoadSharedDat() {
  const fs::path path = settings_.configFolder / Shared::File::kSharedDatFileName;
  for (Shared::_tagStructSharedFile& record : Shared::File::LoadSharedDat(path)) {
    // A data file must not make us offer files from outside the shared folder.
    if (record.hash.IsZero() || !PathExists(record.info.fullPathName) ||
        !Shared::File::IsInsideFolder(record.info.fullPathName, sharedPath_))
      continue;
    if (list_.FindByHash(record.hash)) continue;
    record.info.name = Shared::SafeFileName(record.info.name);
    CTransferFilePtr file(new CTARNNetTransferFile(record));
    CTARNNetUploadFileData::Attach(file, settings_);
    TransferFiles()->Add(file);
    list_.AddLoaded(file);
  }
}

bool CTARNNetUploadFileManager::AddSharedFile(const CTransferFilePtr& file) {
  if (!file) return false;
  if (UploadDataOf(*file) == nullptr) CTARNNetUploadFileData::Attach(file, settings_);
  TransferFiles()->Add(file);
  return list_.Add(file);
}

bool CTARNNetUploadFileManager::RemoveSharedFile(const CTransferFilePtr& file) {
  if (!file || !list_.Remove(file.Get())) return false;
  TransferFiles()->Remove(file.Get());
  return true;
}

void CTARNNetUploadFileManager::Scan() {
  if (list_.HasScanned()) DropStaleEntries();
  Shared::File::ScanSharedFolder(
      sharedPath_, [this] { return Stopping(); },
      [this](const fs::path& path) { SharePath(path); });
  list_.SetScanned(true);
  if (!Stopping()) DropStaleEntries();
}

void CTARNNetUploadFileManager::SharePath(const fs::path& path) {
  const auto attributes = Shared::File::ReadFileAttributes(path);
  // Sizes are 32-bit on the network, and an empty file has nothing to offer.
  if (!attributes || attributes->size == 0 || attributes->size > UINT32_MAX) return;
  const std::string fullPath = path.string();
  const auto sameFile = [&](const CTARNNetTransferFile& file) {
    const Shared::_tagStructSharedFileInfo info = file.GetRecord().info;
    return info.fullPathName == fullPath && info.size == attributes->size &&
           info.creationTime == attributes->creationTime &&
           info.lastWriteTime == attributes->lastWriteTime;
  };
  for (const CTransferFilePtr& file : list_.Snapshot())
    if (sameFile(*file)) return;

  CTransferFilePtr fresh(new CTARNNetTransferFile());
  const auto upload = CTARNNetUploadFileData::Attach(fresh, settings_);
  if (!fresh->Create(fullPath, &monitor_.StopEvent())) {
    upload->Detach();
    return;
  }
  const _tagUnionHash hash = fresh->GetHash();
  // An entry for this path with other contents is out of date: the file was rewritten.
  for (const CTransferFilePtr& file : list_.Snapshot())
    if (file->GetFullPathName() == fullPath && file->GetHash() != hash) RemoveSharedFile(file);

  if (CTransferFilePtr listed = list_.FindByHash(hash)) {
    upload->Detach();
    if (listed->GetFullPathName() != fullPath) {
      if (!listed->SetPath(fullPath)) return;
    } else {
      // Same contents, same place, new times (touched): keep the new times, or every later
      // scan would hash the file again.
      Shared::_tagStructSharedFileInfo info = listed->GetRecord().info;
      const Shared::_tagStructSharedFileInfo found = fresh->GetRecord().info;
      info.size = found.size;
      info.creationTime = found.creationTime;
      info.lastWriteTime = found.lastWriteTime;
      listed->SetInfo(info);
      OnSharedFileChanged(listed->GetRecord());
    }
    list_.Save();
    return;
  }
  TransferFiles()->Add(fresh);
  list_.Add(fresh);
}

void CTARNNetUploadFileManager::DropStaleEntries() {
  for (const CTransferFilePtr& file : list_.Snapshot())
    if (!PathExists(file->GetFullPathName())) RemoveSharedFile(file);
}

void CTARNNetUploadFileManager::OnSharedFileAdded(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSharedFileEventHandler::OnSharedFileAdded, file);
}

void CTARNNetUploadFileManager::OnSharedFileChanged(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSharedFileEventHandler::OnSharedFileChanged, file);
}

void CTARNNetUploadFileManager::OnSharedFileRemoved(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSharedFileEventHandler::OnSharedFileRemoved, file);
}

}  // namespace P2P
