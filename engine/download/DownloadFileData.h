// The download object a transfer file carries while it is being downloaded: it implements the
// transfer operations (create, restore, save, accept data, choose blocks, sources, pause and
// stop, statistics...) and keeps the part file, the block bookkeeping, the counters and the
// flags. Block data goes to the disk's writer thread; each completed part queues there a sync
// of the data followed by the metadata, so data is durable before the metadata records a part
// as done, and the metadata is replaced atomically: a crash at any moment loses at most the
// parts not yet recorded.
// Shared (the file holds it while attached); any thread: the transfer file's lock guards the
// state, the counters and flags are atomic, and events and hooks are called with no lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/download/DownloadBlocks.h"
#include "engine/download/DownloadEventHandler.h"
#include "engine/download/DownloadHooks.h"
#include "engine/download/DownloadMetadata.h"
#include "engine/download/PartFile.h"
#include "engine/download/PartFileNames.h"
#include "engine/transfer/TransferFile.h"
#include "engine/transfer/TransferMeter.h"
#include "framework/CriticalSection.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetDownloadFileData final
    : public ITARNNetTransferFileData,
      public std::enable_shared_from_this<CTARNNetDownloadFileData> {
 public:
  static constexpr uint32_t kSamplePeriod = 1000;

  // Creates the object and attaches it to `file` (replacing whatever the file carried).
  // `hooks` may be null and must outlive the object.
  static std::shared_ptr<CTARNNetDownloadFileData> Attach(const CTransferFilePtr& file,
                                                          const SDownloadHooks* hooks);
  // Leaves the file (when still attached to it) and closes the part file.
  void Detach();
  void SetEventSink(ITARNNetP2PDownloadEventHandler* sink);

  // Picks a free index in the folder `tempFolder`, creates and sizes the data file, writes the
  // metadata for a download with everything required, then restores from it. A download
  // cannot be stopped while it is created: `stopEvent` is not used.
  bool Create(const std::string& tempFolder, OSTREL::Process::CEvent* stopEvent) override;
  // Loads the download whose metadata (or data) file is `path`.
  bool Restore(const std::string& path) override;
  // Syncs the data file, then replaces the metadata file.
  bool Save() override;
  bool ReadRange(uint64_t start, uint64_t end, std::vector<uint8_t>& data) override;
  bool AcceptData(const _tagStructReceivedData& data) override;
  bool WritesBackedUp() const override;
  bool SetPath(const std::string& fullPath) override;
  bool IsFinished() const override { return finished_.load(); }
  bool MoveTo(const std::string& path) override;
  bool IsStopped() const override { return stopped_.load(); }
  bool SetStopped(bool stopped) override;
  bool IsPaused() const override { return paused_.load(); }
  bool SetPaused(bool paused) override;
  bool Resume() override;
  bool Cancel() override;
  uint64_t RemainingBytes() override;
  bool CountSourceIn(std::span<const uint8_t> partBitmap) override;
  bool CountSourceOut(std::span<const uint8_t> partBitmap) override;
  uint32_t ChooseBlocks(std::span<const uint8_t> partBitmap, _tagStructRequestRecord& request,
                        uint32_t wanted,
                        std::span<const std::pair<uint64_t, uint64_t>> askedOfSource = {}) override;
  bool ForgetRequest(const _tagStructRequestRecord& request) override;
  uint64_t CompletedBytes() const override { return completed_.load(); }
  uint64_t ReceivedBytes() const override { return received_.load(); }
  uint32_t Speed() const override { return speed_.load(); }
  bool AddSource(uint32_t clientId, uint16_t port, uint32_t serverAddress, uint16_t serverPort,
                 const _tagUnionHash& userHash = {}) override;
  bool RemoveSource(uint32_t clientId) override;
  bool AddTransferring(const void* client) override;
  bool RemoveTransferring(const void* client) override;
  bool StatisticsSample() override;
  // Checks again the parts with nothing required that are not proven yet (the hash set or
  // recovery data may have come since); true when some part's state changed.
  bool RecheckParts();

  // Why the download failed; empty while it goes on. A failed download is stopped: it takes no
  // more data or sources until Resume gives it another try.
  std::string FailureReason() const;
  // A source (by address) answered with a hash set or part bitmap of `theirParts` parts where
  // this download's size makes `ourParts`: it has the file with another size. Once every
  // source of the download has, the download fails; true when this call failed it.
  bool NoteSizeDisagreement(uint32_t source, uint32_t theirParts, uint32_t ourParts);

  // A download with nothing left to fetch (restored so) becomes finished: true when this
  // call finished it; the completed event has then gone to the sink.
  bool CompleteIfDone();
  // Neither finished, stopped nor paused.
  bool NeedsSources() const { return !IsFinished() && !IsStopped() && !IsPaused(); }
  const std::filesystem::path& DataPath() const { return paths_.data; }
  const std::filesystem::path& MetadataPath() const { return paths_.metadata; }
  // The block bookkeeping; hold the file's lock while using it.
  CTARNNetDownloadBlocks& Blocks() { return blocks_; }

 private:
  CTARNNetDownloadFileData(const CTransferFilePtr& file, const SDownloadHooks* hooks)
      : file_(file), hooks_(hooks), blocks_(*file) {}

  bool AcceptBlock(const CTARNNetTransferBlock& block);
  void AcceptCount(uint32_t newBytes);
  // Parts with nothing required that could not be checked yet (no part hash, or waiting for
  // recovery data) are checked again. True when the download became finished; `changed`, when
  // given, tells whether some part was decided.
  bool RecheckUndecidedParts(bool* changed = nullptr) REQUIRES(file_->LockObject());
  bool AllPartsComplete() const REQUIRES(file_->LockObject());
  // Sets the finished flag once; true for the caller that set it.
  bool MarkFinished() REQUIRES(file_->LockObject());
  void StopForStorageError(const char* what, uint64_t offset, int error);
  // Why the part of `offset` cannot be written, when nothing of it is on disk yet and its
  // space is not free.
  std::optional<std::string> LackOfSpaceForPartLocked(uint64_t offset)
      REQUIRES(file_->LockObject());
  // Stops the download for good with `reason` (once); true when this call did.
  bool Fail(std::string reason) EXCLUDES(failureLock_);
  // Fails the download when the data of a part keeps failing its check the same way.
  void FailIfDataNeverFits() EXCLUDES(failureLock_);
  bool SaveLocked() REQUIRES(file_->LockObject());
  // Queues the sync of the data written so far and then the metadata as it stands now.
  void QueueSaveLocked() REQUIRES(file_->LockObject());
  // Blocks whose queued write failed become required again; true when there were any, with
  // the errno in `error`.
  bool TakeFailedWritesLocked(int& error) REQUIRES(file_->LockObject());
  // The hash set kept by an earlier run, when it is this file's; true when taken.
  bool RestoreHashSet(const _tagUnionHash& hash, uint64_t size) REQUIRES(file_->LockObject());
  void SaveHashSetIfNewLocked() REQUIRES(file_->LockObject());
  _tagStructDownloadMetadata MetadataLocked() REQUIRES(file_->LockObject());
  // Untrusted records for the blocks of partly received parts, so that a part completed after
  // a restart is still checked as a whole.
  void RecordUntrustedBlocksOnDisk() REQUIRES(file_->LockObject());
  void UpdateCompleted() REQUIRES(file_->LockObject());
  void AnnounceChange();
  ITARNNetP2PDownloadEventHandler* Sink();

  CTransferFilePtr file_;
  const SDownloadHooks* hooks_;
  SPartFilePaths paths_;
  CTARNNetPartFile partFile_ GUARDED_BY(file_->LockObject());
  CTARNNetDownloadBlocks blocks_;
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> completed_{0};
  std::atomic<uint32_t> speed_{0};  // meter_'s rate at the last sample
  CTransferMeter meter_;            // locks itself
  uint64_t sampleReceived_ GUARDED_BY(file_->LockObject()) = 0;
  uint32_t sampleSources_ GUARDED_BY(file_->LockObject()) = 0;
  uint32_t sampleTransferring_ GUARDED_BY(file_->LockObject()) = 0;
  std::atomic<bool> stopped_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> hashSetSaved_{false};
  std::vector<const void*> transferring_ GUARDED_BY(file_->LockObject());
  mutable OSTREL::Process::CMutex failureLock_;
  std::string failure_ GUARDED_BY(failureLock_);
  // Sources whose file has another size.
  std::vector<uint32_t> disagreeing_ GUARDED_BY(failureLock_);
  OSTREL::Process::CMutex sinkLock_;
  ITARNNetP2PDownloadEventHandler* sink_ GUARDED_BY(sinkLock_) = nullptr;
};

using CDownloadFileDataPtr = std::shared_ptr<CTARNNetDownloadFileData>;

}  // namespace P2P::Shared::File::TransferFile
