// The data file of one download (nnnnn.tarn.tmp), opened through the file-system seam: block
// data goes in with positioned writes, a completed part not hashed as it arrived is read back for its MD4, and the data
// is made durable before the metadata records progress. The owning download's lock guards it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "engine/download/DownloadBlocks.h"
#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetPartFile : public ITARNNetPartStorage {
 public:
  // Creates (or empties) the file and sizes it.
  bool Create(const std::filesystem::path& path, uint32_t size);
  // Opens an existing file; false when it cannot be opened.
  bool Open(const std::filesystem::path& path);
  // Sets the length; false when the file system refuses.
  bool SetSize(uint32_t size);
  void Close() { file_.reset(); }
  bool IsOpen() const { return file_ != nullptr; }
  std::optional<OSTREL::File::SFileStat> Stat();

  bool WriteBlock(uint32_t offset, std::span<const uint8_t> data) override;
  bool DigestRange(uint32_t start, uint32_t length, HASH::CMD4Digest& md4) override;
  bool Read(uint32_t start, uint32_t end, std::vector<uint8_t>& data);
  // fdatasync; true when nothing is open.
  bool Sync();
  // errno of the last failure of the open file (0 when none or nothing open).
  int LastError() const { return lastError_; }
  // True once after a block write failed (disk full, I/O error).
  bool TakeWriteFailure() { return std::exchange(writeFailed_, false); }

 private:
  std::unique_ptr<OSTREL::File::IFile> file_;
  int lastError_ = 0;
  bool writeFailed_ = false;
};

// Moves `from` to `to`, never replacing an existing `to`; across file systems by copying
// (synced) and removing the original. On failure `from` stays and no partial `to` is left.
bool MoveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace P2P::Shared::File::TransferFile
