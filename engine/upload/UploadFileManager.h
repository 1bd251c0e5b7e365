// The upload file manager: owns the shared-file list and the monitor of the shared folder,
// loads Shared.dat at start, shares new and changed files found by the monitor's scans, drops
// files that disappeared, and passes the list's events to every registered handler. Shared.dat
// and AICH.dat (kept in memory) are written in batches: at most every few seconds while a
// scan hashes, at once when it ends, and at stop; AICH.dat always first, so every file named
// in Shared.dat has its tree on disk. Start and Stop from the engine's controlling thread;
// scans run on the monitor's thread; the list, the progress and the events from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/base/EventAdvisor.h"
#include "engine/hashing/HashingProgress.h"
#include "engine/library/AICHDatStore.h"
#include "engine/library/FileTime.h"
#include "engine/library/SharedFileEventHandler.h"
#include "engine/upload/UploadFileData.h"
#include "engine/upload/UploadFileList.h"
#include "framework/CriticalSection.h"
#include "framework/PathMonitor.h"

namespace P2P {

class CTARNNetUploadFileManager
    : public ITARNNetP2PEventAdvisorT<ITARNNetP2PSharedFileEventHandler>,
      public ITARNNetP2PSharedFileEventHandler {
 public:
  using CTransferFilePtr = Shared::File::TransferFile::CTransferFilePtr;

  // While files are being hashed the data files are written at most this often (longer when
  // a write itself takes long, so writing never costs more than a fifth of the time).
  static constexpr uint32_t kSaveInterval = 5000;
  // The log reports hashing progress this often.
  static constexpr uint32_t kProgressInterval = 5000;

  CTARNNetUploadFileManager();
  ~CTARNNetUploadFileManager() override;

  // Loads Shared.dat from `configPath`, then watches and scans `sharedPath` on the monitor's
  // thread. `hashingPauseMs` throttles hashing (0: full speed).
  bool Start(const std::filesystem::path& configPath, const std::filesystem::path& sharedPath,
             uint32_t hashingPauseMs);
  // Stops the monitor (ending a running scan or hash), saves the data files, empties the list.
  void Stop();
  // The engine root's lock for hashing and AICH.dat; set before Start.
  void SetHashingLock(OSTREL::Process::CCriticalSection* lock);
  // The folders besides the shared folder that completed downloads may land in (the temp
  // folder and the configured download folders). Their files are shared as the shared
  // folder's are, and stay shared across restarts while their file is there unchanged; the
  // monitor watches only the shared folder. Set before Start.
  void SetDownloadFolders(std::vector<std::filesystem::path> folders) {
    downloadFolders_ = std::move(folders);
  }

  Shared::File::TransferFile::CTARNNetUploadFileList& List() { return list_; }
  HASH::_tagStructHashingProgress GetProgress() const;
  // Shares a transfer file (a completed download): attaches an upload object and adds it.
  bool AddSharedFile(const CTransferFilePtr& file);
  // Takes a file off the shared list and the transfer-file list.
  bool RemoveSharedFile(const CTransferFilePtr& file);

  // One scan of the shared folder: every file is looked at once (one stat); new and changed
  // files are then hashed as one batch; files that were not found are dropped.
  void Scan();
  // Writes AICH.dat, then Shared.dat, then PartHashes.dat, where they changed.
  bool SaveDataFiles();

  void OnSharedFileAdded(const Shared::_tagStructSharedFile& file) override;
  void OnSharedFileChanged(const Shared::_tagStructSharedFile& file) override;
  void OnSharedFileRemoved(const Shared::_tagStructSharedFile& file) override;

 private:
  class CUploadFileMonitor : public OSTREL::File::CPathMonitor {
   public:
    explicit CUploadFileMonitor(CTARNNetUploadFileManager& manager) : manager_(manager) {}
    ~CUploadFileMonitor() override { Stop(); }

   protected:
    void OnWatching() override { manager_.Scan(); }
    void ChangeAction() override { manager_.Scan(); }

   private:
    CTARNNetUploadFileManager& manager_;
  };

  struct _tagStructPendingFile {
    std::string path;
    uint64_t size = 0;
  };

  void LoadSharedDat();
  // A Shared.dat entry outside the shared folder still holds: in a download folder, its file
  // there with the size and times listed.
  bool StillThereOutside(const Shared::_tagStructSharedFile& record) const;
  static void ReturnFreedMemory();
  void ShareSettings();
  // Looks at one file found by the walk: unchanged or moved files are settled at once, the
  // others queued for hashing.
  void LookAt(const std::filesystem::path& path);
  bool AdoptMovedFile(const std::string& fullPath,
                      const Shared::File::_tagStructFileAttributes& attributes);
  void HashBatch();
  // Shared.dat keeps no part hashes: PartHashes.dat beside it does. A multi-part file it
  // does not cover (missing, or failing its checks) has them derived again here, on the
  // monitor thread, so peers can still be given its hash set.
  void LoadPartHashes();
  void RestorePartHashes();
  bool SavePartHashes();
  void HashAndShare(const std::string& fullPath);
  void DropFilesNotSeen();
  void SaveIfDue();
  void ReportProgress(bool final);
  void Seen(const Shared::File::TransferFile::CTARNNetTransferFile* file);
  bool Stopping() { return monitor_.StopEvent().IsSignalled(); }

  Shared::File::TransferFile::CTARNNetUploadFileList list_;
  Shared::File::TransferFile::_tagStructUploadSettings settings_;
  // The settings as of Start, shared by the upload objects of every listed file.
  std::shared_ptr<const Shared::File::TransferFile::_tagStructUploadSettings> attachSettings_;
  Shared::File::CTARNNetAICHDatStore aichStore_;
  std::filesystem::path sharedPath_;
  std::vector<std::filesystem::path> downloadFolders_;
  std::filesystem::path partHashPath_;
  // Part hashes derived since PartHashes.dat was written (the list's own changes aside).
  std::atomic<bool> partHashesDirty_{false};
  CUploadFileMonitor monitor_;
  bool started_ = false;

  // Monitor thread only.
  // A deque, so that a batch of 100,000 files gives its memory back as it is hashed.
  std::deque<_tagStructPendingFile> pending_;
  std::unordered_set<const Shared::File::TransferFile::CTARNNetTransferFile*> seen_;
  uint32_t lastSave_ = 0;
  uint32_t saveInterval_ = kSaveInterval;
  uint32_t lastReport_ = 0;
  uint64_t bytesAtLastReport_ = 0;

  mutable OSTREL::Process::CMutex progressLock_;
  HASH::_tagStructHashingProgress progress_ GUARDED_BY(progressLock_);
  OSTREL::Process::CMutex saveLock_;
  // A completed download and a scan may meet the same file at once: one of them shares it.
  OSTREL::Process::CMutex shareLock_;
};

}  // namespace P2P
