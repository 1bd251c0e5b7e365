// The upload file manager: owns the shared-file list and the monitor of the shared folder,
// loads Shared.dat at start and saves it at stop, shares new and changed files found by the
// monitor's scans, drops files that disappeared, and passes the list's events to every
// registered handler. Start and Stop from the engine's controlling thread; scans run on the
// monitor's thread; the list and the events may be used from any thread.
#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/base/EventAdvisor.h"
#include "engine/files/SharedFileEventHandler.h"
#include "engine/files/UploadFileData.h"
#include "engine/files/UploadFileList.h"
#include "framework/PathMonitor.h"

namespace P2P {

class CTARNNetUploadFileManager
    : public ITARNNetP2PEventAdvisorT<ITARNNetP2PSharedFileEventHandler>,
      public ITARNNetP2PSharedFileEventHandler {
 public:
  using CTransferFilePtr = Shared::File::TransferFile::CTransferFilePtr;

  CTARNNetUploadFileManager();
  ~CTARNNetUploadFileManager() override;

  // Loads Shared.dat from `configPath`, then watches and scans `sharedPath` on the monitor's
  // thread. `hashingPauseMs` throttles hashing (0: full speed).
  bool Start(const std::filesystem::path& configPath, const std::filesystem::path& sharedPath,
             uint32_t hashingPauseMs);
  // Stops the monitor (ending a running scan or hash), saves Shared.dat, empties the list.
  void Stop();
  // The engine root's lock for hashing and AICH.dat; set before Start.
  void SetHashingLock(OSTREL::Process::CCriticalSection* lock) { settings_.hashingLock = lock; }

  Shared::File::TransferFile::CTARNNetUploadFileList& List() { return list_; }
  // Shares a transfer file (a completed download): attaches an upload object and adds it.
  bool AddSharedFile(const CTransferFilePtr& file);
  // Takes a file off the shared list and the transfer-file list.
  bool RemoveSharedFile(const CTransferFilePtr& file);

  // One scan of the shared folder: stale entries first (after the first scan), then every file
  // found, then stale entries again.
  void Scan();

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

  void LoadSharedDat();
  void SharePath(const std::filesystem::path& path);
  void DropStaleEntries();
  bool Stopping() { return monitor_.StopEvent().IsSignalled(); }

  Shared::File::TransferFile::CTARNNetUploadFileList list_;
  Shared::File::TransferFile::_tagStructUploadSettings settings_;
  std::filesystem::path sharedPath_;
  CUploadFileMonitor monitor_;
  bool started_ = false;
};

}  // namespace P2P
