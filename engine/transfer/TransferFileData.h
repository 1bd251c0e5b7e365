// What a transfer file does depends on what carries it: a download (a part file, blocks to
// choose, data to take in and check) or a shared file's upload side (hashing a path, reading
// ranges, moving). Both implement this interface and attach to the file; each operation here
// gives the answer of a file that carries nothing (false, 0, and "finished" for IsFinished),
// so an upload overrides only what it does. Implementations say which threads may call them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/transfer/TransferBlock.h"
#include "framework/Event.h"

namespace P2P::Shared::File::TransferFile {

// Received data handed to a download: a whole block, or (block null) a byte count only.
struct _tagStructReceivedData {
  const CTARNNetTransferBlock* block = nullptr;
  uint32_t newBytes = 0;
};

class ITARNNetTransferFileData {
 public:
  virtual ~ITARNNetTransferFileData() = default;

  virtual bool Create(const std::string& /*path*/, OSTREL::Process::CEvent* /*stopEvent*/) {
    return false;
  }
  virtual bool Restore(const std::string& /*path*/) { return false; }
  virtual bool Save() { return false; }
  virtual bool ReadRange(uint32_t /*start*/, uint32_t /*end*/, std::vector<uint8_t>& /*data*/) {
    return false;
  }
  virtual bool AcceptData(const _tagStructReceivedData& /*data*/) { return false; }
  // Received data waits for the disk in such amounts that the sessions should stop reading
  // for a moment.
  virtual bool WritesBackedUp() const { return false; }
  // The file's new full path: a download renames its record, a shared file moves on disk.
  virtual bool SetPath(const std::string& /*fullPath*/) { return false; }
  // A file that carries no download is complete.
  virtual bool IsFinished() const { return true; }
  virtual bool MoveTo(const std::string& /*path*/) { return false; }
  virtual bool IsStopped() const { return false; }
  virtual bool SetStopped(bool /*stopped*/) { return false; }
  virtual bool IsPaused() const { return false; }
  virtual bool SetPaused(bool /*paused*/) { return false; }
  virtual bool Resume() { return false; }
  virtual bool Cancel() { return false; }
  virtual uint32_t RemainingBytes() { return 0; }
  virtual bool CountSourceIn(std::span<const uint8_t> /*partBitmap*/) { return false; }
  virtual bool CountSourceOut(std::span<const uint8_t> /*partBitmap*/) { return false; }
  // `askedOfSource`: the ranges this source was asked for in its current upload slot, never
  // chosen again for it.
  virtual uint32_t ChooseBlocks(
      std::span<const uint8_t> /*partBitmap*/, _tagStructRequestRecord& /*request*/,
      uint32_t /*wanted*/, std::span<const std::pair<uint32_t, uint32_t>> /*askedOfSource*/ = {}) {
    return 0;
  }
  virtual bool ForgetRequest(const _tagStructRequestRecord& /*request*/) { return false; }
  virtual uint32_t CompletedBytes() const { return 0; }
  virtual uint32_t ReceivedBytes() const { return 0; }
  virtual uint32_t Speed() const { return 0; }
  // A source we learn of; its user hash, when known (zero otherwise), is recorded with it and
  // given to a source listed already without one.
  virtual bool AddSource(uint32_t /*clientId*/, uint16_t /*port*/, uint32_t /*serverAddress*/,
                         uint16_t /*serverPort*/, const _tagUnionHash& /*userHash*/ = {}) {
    return false;
  }
  virtual bool RemoveSource(uint32_t /*clientId*/) { return false; }
  // `client` only identifies the remote client; it is never dereferenced.
  virtual bool AddTransferring(const void* /*client*/) { return false; }
  virtual bool RemoveTransferring(const void* /*client*/) { return false; }
  virtual bool StatisticsSample() { return false; }

 protected:
  ITARNNetTransferFileData() = default;
  ITARNNetTransferFileData(const ITARNNetTransferFileData&) = default;
  ITARNNetTransferFileData& operator=(const ITARNNetTransferFileData&) = default;
};

// A file that carries nothing but is complete: a finished download whose file another entry
// shares answers with its whole size, and holds no reference back to the file.
class CTARNNetCompletedFileData final : public ITARNNetTransferFileData {
 public:
  explicit CTARNNetCompletedFileData(uint32_t size) : size_(size) {}
  uint32_t CompletedBytes() const override { return size_; }

 private:
  uint32_t size_;
};

}  // namespace P2P::Shared::File::TransferFile
