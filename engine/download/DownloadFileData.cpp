#include "engine/download/DownloadFileData.h"

#include "engine/download/FreeSpace.h"
#include "engine/hashing/Digest.h"
#include "engine/hashing/PartHashFile.h"
#include "engine/library/FileTime.h"
#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/LogText.h"
#include "framework/TickSource.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {

using OSTREL::File::FileSystem;
using OSTREL::Process::CLock;

CDownloadFileDataPtr CTARNNetDownloadFileData::Attach(const CTransferFilePtr& file,
                                                      const SDownloadHooks* hooks) {
  CDownloadFileDataPtr data(new CTARNNetDownloadFileData(file, hooks));
  file->AttachData(data);
  return data;
}

void CTARNNetDownloadFileData::Detach() {
  const CDownloadFileDataPtr self = shared_from_this();  // the file may hold the last reference
  if (!file_->DetachData(this)) return;
  CLock guard(file_->LockObject());
  partFile_.Close();
}

void CTARNNetDownloadFileData::SetEventSink(ITARNNetP2PDownloadEventHandler* sink) {
  OSTREL::Process::CLock guard(sinkLock_);
  sink_ = sink;
}

ITARNNetP2PDownloadEventHandler* CTARNNetDownloadFileData::Sink() {
  OSTREL::Process::CLock guard(sinkLock_);
  return sink_;
}

bool CTARNNetDownloadFileData::Create(const std::string& tempFolder, OSTREL::Process::CEvent*) {
  // The part file is sparse: nothing is written until data comes, so the whole file must fit.
  if (auto lack = LackOfSpace(tempFolder, file_->GetSize())) {
    OSTREL::LogWarning("Download \"", OSTREL::EscapeForLog(file_->GetName()),
                       "\" not started: ", *lack);
    CLock guard(failureLock_);
    failure_ = std::move(*lack);
    return false;
  }
  {
    CLock guard(file_->LockObject());
    const auto index = FreePartFileIndex(tempFolder);
    if (!index) {
      OSTREL::LogError("No free part file name in ", OSTREL::EscapeForLog(tempFolder));
      return false;
    }
    const SPartFilePaths paths = PartFilePaths(tempFolder, *index);
    FileSystem().Remove(paths.hashes);  // left by a download that used the index before
    const uint64_t size = file_->GetSize();
    if (size == 0 || size > Protocol::kMaxFileSize) return false;
    CTARNNetPartFile created;
    if (!created.Create(paths.data, size)) {
      OSTREL::LogError("Cannot create ", OSTREL::EscapeForLog(paths.data.string()), ": ",
                       std::error_code(created.LastError(), std::generic_category()).message());
      FileSystem().Remove(paths.data);
      return false;
    }
    if (const auto stat = created.Stat()) {
      file_->SetCreationTime(stat->creationTime);
      file_->SetLastWriteTime(stat->lastWriteTime);
    }
    file_->SetSourceCount(0);
    created.Close();
    _tagStructDownloadMetadata metadata;
    metadata.hash = file_->GetHash();
    metadata.info = file_->GetRecord().info;
    metadata.required.Add(0, size);
    if (!OSTREL::File::WriteFileAtomically(paths.metadata, WriteDownloadMetadataText(metadata))) {
      OSTREL::LogError("Cannot write ", OSTREL::EscapeForLog(paths.metadata.string()));
      FileSystem().Remove(paths.data);
      return false;
    }
    paths_ = paths;
  }
  return Restore(paths_.metadata.string());
}

bool CTARNNetDownloadFileData::Restore(const std::string& path) {
  const auto paths = PartFilePathsOf(path);
  if (!paths || !FileSystem().Stat(paths->data) || !FileSystem().Stat(paths->metadata))
    return false;
  auto metadata = LoadDownloadMetadata(paths->metadata);
  if (!metadata) {
    OSTREL::LogWarning("Download metadata ", OSTREL::EscapeForLog(paths->metadata.string()),
                       " is unreadable; the download is left out");
    return false;
  }
  CLock guard(file_->LockObject());
  paths_ = *paths;
  const uint64_t size = metadata->info.size;
  _tagStructSharedFileInfo info = metadata->info;
  const _tagStructSharedFileInfo held = file_->GetRecord().info;
  info.targetFolder = held.targetFolder;
  info.fullPathName = paths_.data.string();
  info.sourceCount = 0;
  info.secondCount = 0;
  file_->SetHash(metadata->hash);
  file_->SetInfo(info);
  file_->HashSet().Reset(size);
  hashSetSaved_.store(RestoreHashSet(metadata->hash, size));
  blocks_.Reset();
  blocks_.Required() = metadata->required;

  std::vector<uint8_t>& complete = file_->CompletionBitmap();
  complete.assign(file_->PartCount(), 0);
  bool any = false;
  for (uint32_t part = 0; part < complete.size(); ++part) {
    const uint64_t start = HASH::PartStart(part);
    complete[part] =
        blocks_.Required().Overlaps(start, start + HASH::PartLength(size, part)) ? 0 : 1;
    any = any || complete[part] != 0;
  }
  if (!any) complete.clear();
  UpdateCompleted();

  partFile_.Close();
  if (!partFile_.Open(paths_.data) || !partFile_.SetSize(size)) {
    OSTREL::LogWarning("Cannot size ", paths_.data.string(), "; the download is stopped");
    stopped_.store(true);
  }
  partFile_.UseWriter(CTARNNetDiskWriter::ForFolder(paths_.data.parent_path()));
  if (const auto stat = partFile_.Stat()) {
    file_->SetCreationTime(stat->creationTime);
    file_->SetLastWriteTime(stat->lastWriteTime);
  }
  RecordUntrustedBlocksOnDisk();
  finished_.store(false);
  received_.store(0);
  speed_.store(0);
  sampleReceived_ = sampleSources_ = sampleTransferring_ = 0;
  return true;
}

void CTARNNetDownloadFileData::RecordUntrustedBlocksOnDisk() {
  const uint64_t size = file_->GetSize();
  const CTARNNetRequireBlockPartList& required = blocks_.Required();
  for (uint32_t part = 0; part < file_->PartCount(); ++part) {
    const uint64_t start = HASH::PartStart(part);
    if (!required.Overlaps(start, start + HASH::PartLength(size, part))) continue;
    // Their hashes are taken from the disk when a check needs them. Called before
    // ForEachPartBlock returns, still under the lock.
    ForEachPartBlock(size, part, [&](uint64_t first, uint64_t last) NO_THREAD_SAFETY_ANALYSIS {
      if (!required.Overlaps(first, last)) blocks_.Untrusted().Add({first, last, {}, {}});
      return true;
    });
  }
}

void CTARNNetDownloadFileData::UpdateCompleted() {
  const uint64_t remaining = blocks_.Required().Total();
  const uint64_t size = file_->GetSize();
  completed_.store(remaining >= size ? 0 : size - remaining);
}

_tagStructDownloadMetadata CTARNNetDownloadFileData::MetadataLocked() {
  _tagStructDownloadMetadata metadata;
  const _tagStructSharedFile record = file_->GetRecord();
  metadata.hash = record.hash;
  metadata.info = record.info;
  metadata.required = blocks_.Required();
  if (finished_.load()) return metadata;
  // Only verified parts are recorded as done: a part whose data is all here but could not
  // be checked yet is fetched again after a restart rather than trusted unchecked.
  const std::vector<uint8_t>& complete = file_->CompletionBitmap();
  const uint64_t size = record.info.size;
  for (uint32_t part = 0; part < HASH::PartCount(size); ++part) {
    if (part < complete.size() && complete[part] != 0) continue;
    const uint64_t start = HASH::PartStart(part);
    const uint64_t end = start + HASH::PartLength(size, part);
    if (!metadata.required.Overlaps(start, end)) metadata.required.Add(start, end);
  }
  return metadata;
}

bool CTARNNetDownloadFileData::SaveLocked() {
  if (paths_.metadata.empty()) return false;
  // The metadata may only claim what the disk already holds.
  if (!partFile_.Sync()) return false;
  return OSTREL::File::WriteFileAtomically(paths_.metadata,
                                           WriteDownloadMetadataText(MetadataLocked()));
}

void CTARNNetDownloadFileData::QueueSaveLocked() {
  if (paths_.metadata.empty()) return;
  partFile_.SyncThen([path = paths_.metadata, text = WriteDownloadMetadataText(MetadataLocked())] {
    // The next part's save tries again.
    if (!OSTREL::File::WriteFileAtomically(path, text))
      OSTREL::LogError("Cannot save the progress in ", OSTREL::EscapeForLog(path.string()));
  });
}

bool CTARNNetDownloadFileData::TakeFailedWritesLocked(int& error) {
  const SFailedWrites failed = partFile_.TakeFailedWrites();
  if (!failed.any) return false;
  for (const auto& [start, end] : failed.ranges) blocks_.Unstore(start, end);
  UpdateCompleted();
  error = failed.error;
  return true;
}

bool CTARNNetDownloadFileData::WritesBackedUp() const {
  CLock guard(file_->LockObject());
  return partFile_.WritesBackedUp();
}

bool CTARNNetDownloadFileData::Save() {
  CLock guard(file_->LockObject());
  SaveHashSetIfNewLocked();
  return SaveLocked();
}

bool CTARNNetDownloadFileData::RestoreHashSet(const _tagUnionHash& hash, uint64_t size) {
  // The reader keeps only hash sets that derive their file hash.
  for (HASH::_tagStructPartHashEntry& entry : HASH::LoadPartHashFile(paths_.hashes)) {
    if (entry.fileHash != hash || entry.parts.GetFileSize() != size) continue;
    file_->HashSet().HashList() = std::move(entry.parts);
    return true;
  }
  return false;
}

// The part hashes come from a source once. Kept beside the part file, they let a restarted
// download check its parts and answer hash set requests before any source is reached again.
void CTARNNetDownloadFileData::SaveHashSetIfNewLocked() {
  const uint64_t size = file_->GetSize();
  if (hashSetSaved_.load() || finished_.load() || paths_.hashes.empty() ||
      HASH::HashSetCount(size) == 0)
    return;
  const auto& list = file_->HashSet().HashList();
  if (list.GetFileSize() != size || !list.Matches(file_->GetHash())) return;
  const HASH::_tagStructPartHashEntry entry{file_->GetHash(), list};
  hashSetSaved_.store(HASH::SavePartHashFile(paths_.hashes, std::span(&entry, 1)));
}

bool CTARNNetDownloadFileData::ReadRange(uint64_t start, uint64_t end, std::vector<uint8_t>& data) {
  CLock guard(file_->LockObject());
  if (start >= end || end > file_->GetSize() || end - start > HASH::kPartSize) return false;
  return partFile_.Read(start, end, data);
}

bool CTARNNetDownloadFileData::SetPath(const std::string& fullPath) {
  {
    CLock guard(file_->LockObject());
    file_->SetFullPathName(fullPath);
    file_->SetName(std::filesystem::path(fullPath).filename().string());
    SaveLocked();
  }
  AnnounceChange();
  return true;
}

bool CTARNNetDownloadFileData::MoveTo(const std::string& path) {
  CLock guard(file_->LockObject());
  if (!partFile_.Sync()) return false;
  partFile_.Close();
  if (!MoveFileNoReplace(paths_.data, path)) {
    OSTREL::LogError("Cannot move ", OSTREL::EscapeForLog(paths_.data.string()), " to ",
                     OSTREL::EscapeForLog(path));
    partFile_.Open(paths_.data);
    return false;
  }
  // The file is where its data is; its completion announces the new place.
  file_->SetFullPathName(path);
  file_->SetName(std::filesystem::path(path).filename().string());
  // The metadata goes only once the data is safely at its new place.
  FileSystem().Remove(paths_.metadata);
  FileSystem().Remove(paths_.hashes);
  // As the shared folder's scan will find it, so that it is not taken for a new file.
  if (const auto attributes = ReadFileAttributes(path)) {
    file_->SetCreationTime(attributes->creationTime);
    file_->SetLastWriteTime(attributes->lastWriteTime);
  }
  return true;
}

// A download's state is part of what it shows: its change is announced like a new name.
bool CTARNNetDownloadFileData::SetStopped(bool stopped) {
  if (stopped_.exchange(stopped) != stopped) AnnounceChange();
  return true;
}

bool CTARNNetDownloadFileData::SetPaused(bool paused) {
  if (paused_.exchange(paused) != paused) AnnounceChange();
  return true;
}

bool CTARNNetDownloadFileData::Resume() {
  if (!stopped_.load() && !paused_.load()) return false;
  std::optional<std::string> lack;
  {
    CLock guard(file_->LockObject());
    // Started again, the download must find room for all it still needs.
    lack = LackOfSpace(paths_.data.parent_path(), blocks_.Required().Total());
    if (!lack) blocks_.ForgiveFailures();
  }
  {
    CLock guard(failureLock_);
    if (lack) {
      stopped_.store(true);
      failure_ = *lack;
      OSTREL::LogWarning("Download \"", OSTREL::EscapeForLog(file_->GetName()),
                         "\" not resumed: ", failure_);
    } else {
      failure_.clear();
      disagreeing_.clear();
    }
  }
  if (lack) {
    AnnounceChange();
    return false;
  }
  stopped_.store(false);
  paused_.store(false);
  AnnounceChange();
  return true;
}

void CTARNNetDownloadFileData::AnnounceChange() {
  if (auto* sink = Sink()) sink->OnDownloadChanged(file_->GetRecord());
}

bool CTARNNetDownloadFileData::Cancel() {
  {
    CLock guard(file_->LockObject());
    finished_.store(true);  // takes no more data, sources or requests
    partFile_.Close();
    if (!paths_.metadata.empty()) FileSystem().Remove(paths_.metadata);
    if (!paths_.hashes.empty()) FileSystem().Remove(paths_.hashes);
    if (!paths_.data.empty()) FileSystem().Remove(paths_.data);
  }
  if (auto* sink = Sink()) sink->OnDownloadRemoved(file_->GetRecord());
  return true;
}

uint64_t CTARNNetDownloadFileData::RemainingBytes() {
  CLock guard(file_->LockObject());
  return blocks_.Required().Total();
}

bool CTARNNetDownloadFileData::AddSource(uint32_t clientId, uint16_t port, uint32_t serverAddress,
                                         uint16_t serverPort, const _tagUnionHash& userHash) {
  Remote::Peer::_tagStructPeer peer;
  peer.userHash = userHash;
  peer.clientId = clientId;
  peer.port = port;
  peer.serverAddress = serverAddress;
  peer.serverPort = serverPort;
  {
    CLock guard(file_->LockObject());
    Remote::Peer::CTARNNetPeerList& sources = file_->Sources();
    if (finished_.load()) return false;
    // A source listed without its user hash takes the one learned now.
    if (sources.Update(clientId, userHash, Remote::Peer::EPeerHolds::kUnknown)) return false;
    if (sources.Size() >= Protocol::kMaxSourcesPerDownload) return false;
    sources.Add(peer);
    file_->SetSourceCount(static_cast<uint32_t>(sources.Size()));
  }
  if (hooks_ != nullptr && hooks_->sourceAdded) hooks_->sourceAdded(file_, peer);
  return true;
}

bool CTARNNetDownloadFileData::RemoveSource(uint32_t clientId) {
  {
    CLock guard(file_->LockObject());
    if (!file_->Sources().Remove(clientId)) return false;
    file_->SetSourceCount(static_cast<uint32_t>(file_->Sources().Size()));
  }
  if (hooks_ != nullptr && hooks_->sourceRemoved) hooks_->sourceRemoved(file_, clientId);
  return true;
}

bool CTARNNetDownloadFileData::AddTransferring(const void* client) {
  CLock guard(file_->LockObject());
  if (client == nullptr ||
      std::find(transferring_.begin(), transferring_.end(), client) != transferring_.end())
    return false;
  transferring_.push_back(client);
  file_->SetSecondCount(static_cast<uint32_t>(transferring_.size()));
  return true;
}

bool CTARNNetDownloadFileData::RemoveTransferring(const void* client) {
  CLock guard(file_->LockObject());
  if (std::erase(transferring_, client) == 0) return false;
  file_->SetSecondCount(static_cast<uint32_t>(transferring_.size()));
  return true;
}

bool CTARNNetDownloadFileData::StatisticsSample() {
  bool progress = false;
  bool finishedNow = false;
  int writeError = 0;
  bool writesFailed = false;
  {
    CLock guard(file_->LockObject());
    if (finished_.load()) return false;
    writesFailed = TakeFailedWritesLocked(writeError);
    SaveHashSetIfNewLocked();
    finishedNow = RecheckUndecidedParts();
    const uint64_t received = received_.load();
    // The stopped and failed take nothing; the rest are measured as the totals are.
    const auto speed = stopped_.load() ? 0u : static_cast<uint32_t>(meter_.Rate());
    const auto sources = static_cast<uint32_t>(file_->Sources().Size());
    const auto transferring = static_cast<uint32_t>(transferring_.size());
    progress = received != sampleReceived_ || speed != speed_.load() || sources != sampleSources_ ||
               transferring != sampleTransferring_;
    speed_.store(finishedNow ? 0 : speed);
    sampleReceived_ = received;
    sampleSources_ = sources;
    sampleTransferring_ = transferring;
  }
  if (writesFailed) StopForStorageError("write", 0, writeError);
  auto* sink = Sink();
  if (sink != nullptr && progress)
    sink->OnDownloadProgress(file_->GetRecord(), CompletedBytes(), ReceivedBytes());
  if (sink != nullptr && finishedNow) sink->OnDownloadCompleted(file_->GetRecord());
  FailIfDataNeverFits();
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
