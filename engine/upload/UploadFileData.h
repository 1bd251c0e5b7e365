// The upload object a shared file carries: it implements the transfer operations a shared file
// needs (create by hashing a path, restore, read a range, move to a new path) and tells the
// upload manager when a move changed the file. Shared (the file holds it while attached);
// create runs on the folder monitor's thread, the others on any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/library/SharedFileEventHandler.h"
#include "engine/transfer/TransferFile.h"
#include "framework/CriticalSection.h"
#include "framework/Event.h"

namespace P2P::Shared::File::TransferFile {

struct _tagStructUploadSettings {
  std::filesystem::path configFolder;  // where AICH.dat lives; empty: the tree is not stored
  uint32_t hashingPauseMs = 10;
  // Hashing and AICH.dat writing take this lock; null: the process-wide default.
  OSTREL::Process::CCriticalSection* hashingLock = nullptr;
  // Where hashed trees go instead of being written into AICH.dat one by one (the shared-file
  // list keeps AICH.dat in memory and writes it in batches).
  std::function<void(const _tagUnionHash&, const HASH::CTARNNetAICHTree&)> storeTree;
};

class CTARNNetUploadFileData final : public ITARNNetTransferFileData,
                                     public std::enable_shared_from_this<CTARNNetUploadFileData> {
 public:
  // Creates the object and attaches it to `file` (replacing whatever the file carried).
  static std::shared_ptr<CTARNNetUploadFileData> Attach(const CTransferFilePtr& file,
                                                        const _tagStructUploadSettings& settings);
  // The same with settings shared by every file of a list (one copy for 100,000 files).
  static std::shared_ptr<CTARNNetUploadFileData> Attach(
      const CTransferFilePtr& file, std::shared_ptr<const _tagStructUploadSettings> settings);
  // Leaves the file, when still attached to it.
  void Detach();

  void SetEventSink(ITARNNetP2PSharedFileEventHandler* sink);

  // Hashes `path`; on success takes the file's path, name, size and times from disk.
  bool Create(const std::string& path, OSTREL::Process::CEvent* stopEvent) override;
  bool Restore(const std::string& path) override;
  bool ReadRange(uint64_t start, uint64_t end, std::vector<uint8_t>& data) override;
  // A shared file's new path is a move: see MoveTo.
  bool SetPath(const std::string& fullPath) override { return MoveTo(fullPath); }
  // Takes `newPath` as the file's place: moves the file there when the old path still holds
  // it (never over an existing file), else adopts the new path as found. Raises changed.
  bool MoveTo(const std::string& newPath) override;
  // A shared file is all there: as many bytes completed (and received) as it has, so a
  // download that completed keeps answering as complete through the items that hold it.
  uint64_t CompletedBytes() const override { return file_->GetSize(); }
  uint64_t ReceivedBytes() const override { return file_->GetSize(); }

 private:
  CTARNNetUploadFileData(const CTransferFilePtr& file,
                         std::shared_ptr<const _tagStructUploadSettings> settings)
      : file_(file), settings_(std::move(settings)) {}
  // Name, size and times from the file at `path`; false when it is missing, empty or too big.
  bool TakeAttributes(const std::string& path);

  CTransferFilePtr file_;
  std::shared_ptr<const _tagStructUploadSettings> settings_;
  OSTREL::Process::CMutex sinkLock_;
  ITARNNetP2PSharedFileEventHandler* sink_ GUARDED_BY(sinkLock_) = nullptr;
};

using CUploadFileDataPtr = std::shared_ptr<CTARNNetUploadFileData>;

}  // namespace P2P::Shared::File::TransferFile
