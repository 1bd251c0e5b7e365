// The download manager: restores every download found in the temp folder at start, adds a
// download for a file record (a unique, safe name; sources asked at once), completes finished
// downloads into the shared folder under a free name and shares them, removes and cancels,
// hands the source sweeps the downloads that need sources, and passes every download event on
// to the registered handlers. Start and Stop from the engine's controlling thread; the rest
// from any thread (sessions, the timer sweep, API calls).
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base/EventAdvisor.h"
#include "engine/download/DownloadEventHandler.h"
#include "engine/download/DownloadFileList.h"
#include "engine/download/DownloadHooks.h"
#include "engine/protocol/ServerRequests.h"
#include "engine/transfer/TransferFile.h"
#include "framework/CriticalSection.h"

namespace P2P {

class CTARNNetUploadFileManager;

class CTARNNetDownloadFileManager
    : public ITARNNetP2PEventAdvisorT<ITARNNetP2PDownloadEventHandler>,
      public ITARNNetP2PDownloadEventHandler {
 public:
  using CTransferFilePtr = Shared::File::TransferFile::CTransferFilePtr;

  CTARNNetDownloadFileManager();
  ~CTARNNetDownloadFileManager() override;

  // Before Start.
  void SetHooks(const Shared::File::TransferFile::SDownloadHooks& hooks) { hooks_ = hooks; }
  // Completed downloads are shared through it; null leaves them in the transfer-file list only.
  void SetUploadFileManager(CTARNNetUploadFileManager* uploads) { uploads_ = uploads; }

  // Restores the downloads of `tempPath`; completed files go to `sharedPath`.
  bool Start(const std::filesystem::path& tempPath, const std::filesystem::path& sharedPath);
  // Saves every download's progress, then empties the list.
  void Stop();

  // Every "*.tarn.dat" of the temp folder that restores; the others stay on disk, left out.
  size_t RestoreAll();
  // The new download, or null when the hash is already downloading or shared, or the part
  // files cannot be made. `refusal`, when given, says why a download did not start for lack
  // of disk space (the temp folder must hold the whole file).
  CTransferFilePtr AddDownload(const Shared::_tagStructSharedFile& record,
                               std::string* refusal = nullptr);
  // Moves a finished download into its target folder under a free name, announces its
  // completion, and (once moved) takes it off the list with one removal and shares it.
  bool CompleteDownload(const CTransferFilePtr& file);
  // Takes a download off the lists (its files stay).
  bool RemoveDownload(const CTransferFilePtr& file);
  // Deletes the download's files and takes it off the lists.
  bool CancelDownload(const CTransferFilePtr& file);

  // The downloads neither finished, stopped nor paused, in list order.
  std::vector<Protocol::SSourceRequestEntry> DownloadsNeedingSources() const;
  // A source named for the download with `hash`; false for unknown or finished downloads.
  bool AddSource(const _tagUnionHash& hash, uint32_t clientId, uint16_t port,
                 uint32_t serverAddress, uint16_t serverPort);

  Shared::File::TransferFile::CTARNNetDownloadFileList& List() { return list_; }

  // The sink of every download: each event goes to the handlers; completion and removal are
  // acted on after that.
  void OnDownloadAdded(const Shared::_tagStructSharedFile& file) override;
  void OnDownloadChanged(const Shared::_tagStructSharedFile& file) override;
  void OnDownloadProgress(const Shared::_tagStructSharedFile& file, uint64_t completedBytes,
                          uint64_t receivedBytes) override;
  void OnDownloadCompleted(const Shared::_tagStructSharedFile& file) override;
  void OnDownloadRemoved(const Shared::_tagStructSharedFile& file) override;
  void OnDownloadNotice(uint32_t value) override;

 private:
  CTransferFilePtr RestoreOne(const std::filesystem::path& metadataPath);
  // A name no transfer file holds (compared without regard to case).
  std::string UniqueTransferName(const std::string& name) const;
  void DropFromLists(const CTransferFilePtr& file);
  bool MoveIntoTargetFolder(const CTransferFilePtr& file);

  Shared::File::TransferFile::SDownloadHooks hooks_;
  CTARNNetUploadFileManager* uploads_ = nullptr;
  std::filesystem::path tempPath_;
  std::filesystem::path sharedPath_;
  Shared::File::TransferFile::CTARNNetDownloadFileList list_;
  // Adds and completions choose names and part-file indexes one at a time. Recursive: a
  // completion raises events, and a handler may add a download.
  OSTREL::Process::CCriticalSection namingLock_;
};

}  // namespace P2P
