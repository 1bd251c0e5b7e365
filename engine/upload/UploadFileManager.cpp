#include "engine/upload/UploadFileManager.h"

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <system_error>

#include "engine/hashing/AICHStore.h"
#include "engine/hashing/FileHasher.h"
#include "engine/hashing/HashConstants.h"
#include "engine/hashing/PartHashFile.h"
#include "engine/library/SharedDatFile.h"
#include "engine/library/SharedFolderScan.h"
#include "engine/protocol/Limits.h"
#include "engine/transfer/TransferFileList.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/TickSource.h"

namespace P2P {

using OSTREL::Process::CTickSource;
using Shared::File::TransferFile::CTARNNetCompletedFileData;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTARNNetTransferFileList;
using Shared::File::TransferFile::CTARNNetUploadFileData;
namespace fs = std::filesystem;

namespace {

bool PathExists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(path, error);
}

CTARNNetTransferFileList* TransferFiles() { return CTARNNetTransferFileList::GetInstance(); }

bool SameAttributes(const Shared::_tagStructSharedFileInfo& info,
                    const Shared::File::_tagStructFileAttributes& attributes) {
  return info.size == attributes.size && info.creationTime == attributes.creationTime &&
         info.lastWriteTime == attributes.lastWriteTime;
}

}  // namespace

CTARNNetUploadFileManager::CTARNNetUploadFileManager() : monitor_(*this) {
  constexpr uint32_t kFilter = OSTREL::File::CPathMonitor::kChangeFileName |
                               OSTREL::File::CPathMonitor::kChangeDirName |
                               OSTREL::File::CPathMonitor::kChangeLastWrite;
  monitor_.SetFilter(kFilter);
  settings_.storeTree = [this](const _tagUnionHash& hash, const HASH::CTARNNetAICHTree& tree) {
    aichStore_.Put(hash, tree);
  };
  ShareSettings();
}

CTARNNetUploadFileManager::~CTARNNetUploadFileManager() { Stop(); }

void CTARNNetUploadFileManager::SetHashingLock(OSTREL::Process::CCriticalSection* lock) {
  settings_.hashingLock = lock;
  ShareSettings();
}

void CTARNNetUploadFileManager::ShareSettings() {
  attachSettings_ =
      std::make_shared<const Shared::File::TransferFile::_tagStructUploadSettings>(settings_);
}

bool CTARNNetUploadFileManager::Start(const fs::path& configPath, const fs::path& sharedPath,
                                      uint32_t hashingPauseMs) {
  if (started_) return true;
  std::error_code error;
  settings_.configFolder = configPath;
  settings_.hashingPauseMs = hashingPauseMs;
  ShareSettings();
  aichStore_.SetFolder(configPath);
  sharedPath_ = fs::absolute(sharedPath, error).lexically_normal();
  list_.SetSharedDatPath(configPath / Shared::File::kSharedDatFileName);
  list_.SetScanned(false);
  list_.SetEventSink(this);
  {
    OSTREL::Process::CLock guard(progressLock_);
    progress_ = {};
  }
  partHashPath_ = configPath / HASH::kPartHashFileName;
  LoadSharedDat();
  LoadPartHashes();
  ReturnFreedMemory();
  monitor_.SetPath(sharedPath_);
  started_ = monitor_.Start();
  return started_;
}

void CTARNNetUploadFileManager::Stop() {
  if (!started_) return;
  started_ = false;
  monitor_.Stop();
  list_.SetEventSink(nullptr);
  const bool saved = SaveDataFiles();
  if (CTARNNetTransferFileList* files = CTARNNetTransferFileList::PeekInstance()) {
    // Newest first: each removal then finds its file at the end of the list.
    const std::vector<CTransferFilePtr> shared = list_.Snapshot();
    for (auto file = shared.rbegin(); file != shared.rend(); ++file) files->Remove(file->Get());
  }
  list_.Clear();
  // The trees are on disk: read again only when the next run hashes something.
  if (saved) aichStore_.SetFolder({});
  ReturnFreedMemory();
}

// A large library frees tens of megabytes at once (the Shared.dat document after loading,
// every file object at stop); the allocator keeps such memory unless asked to return it.
void CTARNNetUploadFileManager::ReturnFreedMemory() { malloc_trim(0); }

HASH::_tagStructHashingProgress CTARNNetUploadFileManager::GetProgress() const {
  OSTREL::Process::CLock guard(progressLock_);
  return progress_;
}

// Entries are taken without looking at their files: the first scan, one stat per file, drops
// those whose file is gone.
void CTARNNetUploadFileManager::LoadSharedDat() {
  const fs::path path = settings_.configFolder / Shared::File::kSharedDatFileName;
  Shared::File::ForEachSharedDatEntry(path, [this](Shared::_tagStructSharedFile& record) {
    // A data file must not make us offer files from outside the folders we share.
    if (record.hash.IsZero() || record.info.fullPathName.empty()) return;
    if (!Shared::File::IsInsideFolder(record.info.fullPathName, sharedPath_) &&
        !StillThereOutside(record))
      return;
    if (list_.FindByHash(record.hash)) return;
    record.info.name = Shared::SafeFileName(record.info.name);
    CTransferFilePtr file(new CTARNNetTransferFile(record));
    CTARNNetUploadFileData::Attach(file, attachSettings_);
    TransferFiles()->Add(file);
    list_.AddLoaded(file);
  });
}

bool CTARNNetUploadFileManager::StillThereOutside(
    const Shared::_tagStructSharedFile& record) const {
  const std::string& path = record.info.fullPathName;
  const bool inDownloadFolder = std::any_of(
      downloadFolders_.begin(), downloadFolders_.end(),
      [&](const fs::path& folder) { return Shared::File::IsInsideFolder(path, folder); });
  if (!inDownloadFolder) return false;
  const auto attributes = Shared::File::ReadFileAttributes(path);
  return attributes && SameAttributes(record.info, *attributes);
}

bool CTARNNetUploadFileManager::AddSharedFile(const CTransferFilePtr& file) {
  if (!file) return false;
  OSTREL::Process::CLock sharing(shareLock_);
  // The monitor may have met the completed file in the shared folder and shared it already.
  if (const CTransferFilePtr listed = list_.FindByHash(file->GetHash()); listed && listed != file) {
    TransferFiles()->Remove(file.Get());
    // Items of the download still held by clients read it complete.
    file->AttachData(std::make_shared<CTARNNetCompletedFileData>(file->GetSize()));
    return false;
  }
  if (!file->DataAs<CTARNNetUploadFileData>())
    CTARNNetUploadFileData::Attach(file, attachSettings_);
  TransferFiles()->Add(file);
  if (!list_.Add(file)) return false;
  // A completed download arrives alone: no batch to wait for.
  SaveDataFiles();
  return true;
}

bool CTARNNetUploadFileManager::RemoveSharedFile(const CTransferFilePtr& file) {
  if (!file || !list_.Remove(file.Get())) return false;
  TransferFiles()->Remove(file.Get());
  return true;
}

bool CTARNNetUploadFileManager::SaveDataFiles() {
  OSTREL::Process::CLock guard(saveLock_);
  const uint32_t started = CTickSource::Now();
  // A file may be named in Shared.dat only once its tree is on disk.
  if (!aichStore_.Save()) return false;
  const bool listChanged = list_.IsDirty();
  bool saved = !listChanged || list_.Save();
  // Written after Shared.dat: a file it lacks costs a read at the next start, nothing more.
  const bool partsChanged = partHashesDirty_.exchange(false);
  if (saved && (listChanged || partsChanged)) {
    saved = SavePartHashes();
  } else if (partsChanged) {
    partHashesDirty_ = true;
  }
  lastSave_ = CTickSource::Now();
  saveInterval_ = std::max(kSaveInterval, 4 * (lastSave_ - started));
  return saved;
}

void CTARNNetUploadFileManager::SaveIfDue() {
  {
    // A completed download saves from its own thread too, so the save times need the lock.
    OSTREL::Process::CLock guard(saveLock_);
    if (CTickSource::Now() - lastSave_ < saveInterval_) return;
  }
  if (list_.IsDirty() || aichStore_.IsDirty()) SaveDataFiles();
}

void CTARNNetUploadFileManager::Seen(const CTARNNetTransferFile* file) { seen_.insert(file); }

void CTARNNetUploadFileManager::Scan() {
  pending_.clear();
  seen_.clear();
  const bool walked = Shared::File::ScanSharedFolder(
      sharedPath_, [this] { return Stopping(); }, [this](const fs::path& path) { LookAt(path); });
  HashBatch();
  if (walked && !Stopping()) DropFilesNotSeen();
  // Only now: a list that says it was scanned holds no file the scan did not see.
  list_.SetScanned(true);
  SaveDataFiles();
  pending_.clear();
  seen_.clear();
  RestorePartHashes();
}

void CTARNNetUploadFileManager::LoadPartHashes() {
  for (HASH::_tagStructPartHashEntry& entry : HASH::LoadPartHashFile(partHashPath_)) {
    const CTransferFilePtr file = list_.FindByHash(entry.fileHash);
    // The reader checked that the hashes derive the file hash; the size must be the listed one.
    if (!file || file->GetSize() != entry.parts.GetFileSize()) continue;
    OSTREL::Process::CLock guard(file->LockObject());
    file->HashSet().HashList() = std::move(entry.parts);
  }
}

bool CTARNNetUploadFileManager::SavePartHashes() {
  std::vector<HASH::_tagStructPartHashEntry> entries;
  for (const CTransferFilePtr& file : list_.Snapshot()) {
    const uint64_t size = file->GetSize();
    if (HASH::HashSetCount(size) == 0) continue;
    const _tagUnionHash hash = file->GetHash();
    OSTREL::Process::CLock guard(file->LockObject());
    const auto& list = file->HashSet().HashList();
    if (list.GetFileSize() == size && list.Matches(hash)) entries.push_back({hash, list});
  }
  if (HASH::SavePartHashFile(partHashPath_, entries)) return true;
  partHashesDirty_ = true;
  return false;
}

void CTARNNetUploadFileManager::RestorePartHashes() {
  HASH::_tagStructHashingOptions options;
  options.pauseMilliseconds = attachSettings_->hashingPauseMs;
  options.abortEvent = &monitor_.StopEvent();
  options.hashingLock = attachSettings_->hashingLock != nullptr ? attachSettings_->hashingLock
                                                                : &HASH::HashingLock();
  HASH::CTARNNetFileHasher hasher(options);
  for (const CTransferFilePtr& file : list_.Snapshot()) {
    if (Stopping()) return;
    const uint64_t size = file->GetSize();
    const _tagUnionHash hash = file->GetHash();
    if (HASH::HashSetCount(size) == 0) continue;
    {
      OSTREL::Process::CLock guard(file->LockObject());
      const auto& list = file->HashSet().HashList();
      if (list.GetFileSize() == size && list.Matches(hash)) continue;
    }
    HASH::MD4_HASH::CTARNNetHashList derived;
    _tagUnionHash found;
    if (!hasher.HashFile(file->GetFullPathName(), &found, nullptr, &derived)) continue;
    // Changed since it was listed: the next scan hashes it anew.
    if (found != hash || derived.GetFileSize() != size) continue;
    {
      OSTREL::Process::CLock guard(file->LockObject());
      file->HashSet().HashList() = std::move(derived);
    }
    partHashesDirty_ = true;
  }
  if (partHashesDirty_) SaveDataFiles();
}

void CTARNNetUploadFileManager::LookAt(const fs::path& path) {
  const auto attributes = Shared::File::ReadFileAttributes(path);
  // An empty file has nothing to offer, and no client takes one above 256 GiB.
  if (!attributes || attributes->size == 0 || attributes->size > Protocol::kMaxFileSize) return;
  const std::string fullPath = path.string();
  if (const CTransferFilePtr listed = list_.FindByPath(fullPath)) {
    if (SameAttributes(listed->GetRecord().info, *attributes)) return Seen(listed.Get());
  } else if (AdoptMovedFile(fullPath, *attributes)) {
    return;
  }
  pending_.push_back({fullPath, attributes->size});
}

// A folder renamed or moved inside the shared folder keeps its files' names, sizes and times:
// such a file whose old place is gone is the listed one, taken at its new place unhashed.
bool CTARNNetUploadFileManager::AdoptMovedFile(
    const std::string& fullPath, const Shared::File::_tagStructFileAttributes& attributes) {
  const std::string name = fs::path(fullPath).filename().string();
  for (const CTransferFilePtr& listed : list_.FindAllByNameSizeTimes(
           name, attributes.size, attributes.creationTime, attributes.lastWriteTime)) {
    if (seen_.count(listed.Get()) != 0 || PathExists(listed->GetFullPathName())) continue;
    if (!listed->Data()->SetPath(fullPath)) continue;
    list_.Reindex(listed.Get());
    Seen(listed.Get());
    return true;
  }
  return false;
}

void CTARNNetUploadFileManager::HashBatch() {
  if (pending_.empty()) return;
  {
    OSTREL::Process::CLock guard(progressLock_);
    const uint32_t hashedBefore = progress_.filesHashed;
    progress_ = {};
    progress_.hashing = true;
    progress_.filesHashed = hashedBefore;
    progress_.filesTotal = static_cast<uint32_t>(pending_.size());
    for (const _tagStructPendingFile& file : pending_) progress_.bytesTotal += file.size;
  }
  lastReport_ = CTickSource::Now();
  {
    OSTREL::Process::CLock guard(saveLock_);
    lastSave_ = lastReport_;
  }
  bytesAtLastReport_ = 0;
  OSTREL::LogInfo("hashing ", pending_.size(), " new or changed shared files");
  while (!pending_.empty() && !Stopping()) {
    const _tagStructPendingFile file = std::move(pending_.front());
    pending_.pop_front();
    HashAndShare(file.path);
    {
      OSTREL::Process::CLock guard(progressLock_);
      ++progress_.filesDone;
      progress_.bytesDone += file.size;
    }
    SaveIfDue();
    if (CTickSource::Now() - lastReport_ >= kProgressInterval) ReportProgress(false);
  }
  ReportProgress(true);
  OSTREL::Process::CLock guard(progressLock_);
  progress_.hashing = false;
}

void CTARNNetUploadFileManager::ReportProgress(bool final) {
  const uint32_t now = CTickSource::Now();
  const uint32_t elapsed = std::max<uint32_t>(now - lastReport_, 1);
  HASH::_tagStructHashingProgress progress;
  {
    OSTREL::Process::CLock guard(progressLock_);
    progress_.bytesPerSecond = (progress_.bytesDone - bytesAtLastReport_) * 1000 / elapsed;
    progress = progress_;
  }
  lastReport_ = now;
  bytesAtLastReport_ = progress.bytesDone;
  OSTREL::LogInfo(final ? "hashed " : "hashing: ", progress.filesDone, " / ", progress.filesTotal,
                  " files, ", progress.bytesPerSecond / 1000, " kB/s");
}

void CTARNNetUploadFileManager::HashAndShare(const std::string& fullPath) {
  CTransferFilePtr fresh(new CTARNNetTransferFile());
  const auto upload = CTARNNetUploadFileData::Attach(fresh, attachSettings_);
  if (!upload->Create(fullPath, &monitor_.StopEvent())) {
    upload->Detach();
    return;
  }
  {
    OSTREL::Process::CLock guard(progressLock_);
    ++progress_.filesHashed;
  }
  const _tagUnionHash hash = fresh->GetHash();
  OSTREL::Process::CLock sharing(shareLock_);
  // An entry for this path with other contents is out of date: the file was rewritten.
  if (const CTransferFilePtr old = list_.FindByPath(fullPath); old && old->GetHash() != hash)
    RemoveSharedFile(old);

  if (CTransferFilePtr listed = list_.FindByHash(hash)) {
    upload->Detach();
    Seen(listed.Get());
    if (listed->GetFullPathName() != fullPath) {
      if (listed->Data()->SetPath(fullPath)) list_.Reindex(listed.Get());
      return;
    }
    // Same contents, same place, new times (touched): keep the new times, or every later
    // scan would hash the file again.
    Shared::_tagStructSharedFileInfo info = listed->GetRecord().info;
    const Shared::_tagStructSharedFileInfo found = fresh->GetRecord().info;
    info.size = found.size;
    info.creationTime = found.creationTime;
    info.lastWriteTime = found.lastWriteTime;
    listed->SetInfo(info);
    list_.Reindex(listed.Get());
    OnSharedFileChanged(listed->GetRecord());
    return;
  }
  TransferFiles()->Add(fresh);
  list_.Add(fresh);
  Seen(fresh.Get());
}

// Files the walk did not meet are gone, unless they still exist outside its reach.
void CTARNNetUploadFileManager::DropFilesNotSeen() {
  for (const CTransferFilePtr& file : list_.Snapshot())
    if (seen_.count(file.Get()) == 0 && !PathExists(file->GetFullPathName()))
      RemoveSharedFile(file);
}

void CTARNNetUploadFileManager::OnSharedFileAdded(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSharedFileEventHandler::OnSharedFileAdded, file);
}

void CTARNNetUploadFileManager::OnSharedFileChanged(const Shared::_tagStructSharedFile& file) {
  // A move asked for from outside (the API) changes the path the list is indexed by.
  if (const CTransferFilePtr listed = list_.FindById(file.id)) list_.Reindex(listed.Get());
  FanOut(&ITARNNetP2PSharedFileEventHandler::OnSharedFileChanged, file);
}

void CTARNNetUploadFileManager::OnSharedFileRemoved(const Shared::_tagStructSharedFile& file) {
  FanOut(&ITARNNetP2PSharedFileEventHandler::OnSharedFileRemoved, file);
}

}  // namespace P2P
