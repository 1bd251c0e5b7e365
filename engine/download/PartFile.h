// The data file of one download (nnnnn.tarn.tmp), opened through the file-system seam: block
// data goes in with positioned writes, handed to the disk's writer thread once one is in use,
// a completed part not hashed as it arrived is read back for its MD4, and the data is made
// durable before the metadata records progress. Every read and every sync waits for the writes
// queued before it, so what is read is what was handed in. The owning download's lock guards
// the object; the queued writes run on the writer's thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "engine/download/DiskWriter.h"
#include "engine/download/DownloadBlocks.h"
#include "framework/CriticalSection.h"
#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {

// Queued writes that failed, told to the download once.
struct SFailedWrites {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;  // [start, end) of each lost block
  int error = 0;                                      // errno of the last failure
  bool any = false;                                   // a write or a sync failed
};

class CTARNNetPartFile : public ITARNNetPartStorage {
 public:
  CTARNNetPartFile();
  ~CTARNNetPartFile() override;
  CTARNNetPartFile(const CTARNNetPartFile&) = delete;
  CTARNNetPartFile& operator=(const CTARNNetPartFile&) = delete;

  // Creates (or empties) the file and sizes it.
  bool Create(const std::filesystem::path& path, uint64_t size);
  // Opens an existing file; false when it cannot be opened.
  bool Open(const std::filesystem::path& path);
  // From now on block writes and queued syncs run on `writer` (null: at once, on the caller).
  void UseWriter(std::shared_ptr<CTARNNetDiskWriter> writer);
  // Sets the length; false when the file system refuses.
  bool SetSize(uint64_t size);
  // Waits for the queued writes, then closes.
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  std::optional<OSTREL::File::SFileStat> Stat();

  // With a writer, a copy of the block is queued and the outcome comes later (TakeFailedWrites).
  bool WriteBlock(uint64_t offset, std::span<const uint8_t> data) override;
  bool DigestRange(uint64_t start, uint32_t length, HASH::CMD4Digest& md4) override;
  bool Read(uint64_t start, uint64_t end, std::vector<uint8_t>& data) override;
  // Waits for the queued writes, then fdatasync; true when nothing is open. False while a
  // failed queued write has not been taken.
  bool Sync();
  // Queues an fdatasync behind every write handed in so far, then `then`, which runs (on the
  // writer) only when the sync succeeded and no failed write is left untaken.
  void SyncThen(std::function<void()> then);
  // The queued writes that failed since the last call.
  SFailedWrites TakeFailedWrites();
  // The writer holds as much block data as it may: the sessions should stop reading.
  bool WritesBackedUp() const { return writer_ && writer_->IsBackedUp(); }
  // errno of the last failure of the open file (0 when none or nothing open).
  int LastError() const { return lastError_; }
  // True once after a block write failed at once (disk full, I/O error).
  bool TakeWriteFailure() { return std::exchange(writeFailed_, false); }

 private:
  // What the queued jobs of this file share with it.
  struct SQueue {
    OSTREL::Process::CMutex lock;
    OSTREL::Process::CConditionVariable idle;
    size_t pending GUARDED_BY(lock) = 0;  // jobs queued and not yet run
    SFailedWrites failed GUARDED_BY(lock);
    void Finish(bool ok, int error, std::pair<uint64_t, uint64_t> lost) EXCLUDES(lock);
  };

  void WaitForWrites();

  std::shared_ptr<OSTREL::File::IFile> file_;
  std::shared_ptr<CTARNNetDiskWriter> writer_;
  std::shared_ptr<SQueue> queue_;
  int lastError_ = 0;
  bool writeFailed_ = false;
};

// Moves `from` to `to`, never replacing an existing `to`; across file systems by copying
// (synced) and removing the original. On failure `from` stays and no partial `to` is left.
bool MoveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace P2P::Shared::File::TransferFile
