// The shared-file list: the transfer files the engine offers, each with an upload object.
// Adding saves Shared.dat at once and raises added; removing raises removed and detaches the
// upload object. Any thread; the list lock guards the entries, a second lock the file writes.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>

#include "engine/files/SharedFileEventHandler.h"
#include "engine/files/SharedFileList.h"
#include "engine/files/TransferFile.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetUploadFileList : public ITARNNetTransferFilePtrListT<CTARNNetTransferFile> {
 public:
  void SetEventSink(ITARNNetP2PSharedFileEventHandler* sink);
  void SetSharedDatPath(const std::filesystem::path& path) { sharedDatPath_ = path; }
  bool HasScanned() const { return scanned_; }
  void SetScanned(bool scanned) { scanned_ = scanned; }

  bool Add(const FilePtr& file) override;
  // As Add, without saving Shared.dat (the entries being loaded from it).
  bool AddLoaded(const FilePtr& file);
  bool Remove(const CTARNNetTransferFile* file) override;
  // Detaches every upload object and empties the list, raising no events.
  void Clear() override;

  bool Save() const;

 private:
  bool AddAndAnnounce(const FilePtr& file);

  std::mutex sinkLock_;
  ITARNNetP2PSharedFileEventHandler* sink_ = nullptr;
  std::filesystem::path sharedDatPath_;
  mutable std::mutex saveLock_;
  std::atomic<bool> scanned_ = false;  // set by the monitor thread, read by any
};

}  // namespace P2P::Shared::File::TransferFile
