// The block bookkeeping of one download: which ranges are still required, which blocks were
// asked for, which received blocks are not yet proven, and how common each part is among the
// sources. It chooses blocks for a request (rarest part first, then blocks already asked of
// others), accepts received blocks (checking them against a trusted AICH tree) and verifies
// completed parts (AICH first, else MD4). Callers hold the transfer file's lock.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "engine/download/RepeatedPartFailures.h"
#include "engine/hashing/RunningPartDigests.h"
#include "engine/transfer/BlockPartList.h"
#include "engine/transfer/PartFrequencyList.h"
#include "engine/transfer/RequestRecord.h"
#include "engine/transfer/TransferBlock.h"
#include "engine/transfer/TransferFile.h"

namespace P2P::Shared::File::TransferFile {

// Where a download keeps its bytes (the part file).
class ITARNNetPartStorage {
 public:
  virtual ~ITARNNetPartStorage() = default;
  virtual bool WriteBlock(uint64_t offset, std::span<const uint8_t> data) = 0;
  // Feeds [start, start + length) as stored into `md4`; false when it cannot be read.
  virtual bool DigestRange(uint64_t start, uint32_t length, HASH::CMD4Digest& md4) = 0;
  // [start, end) as stored; false when it cannot be read.
  virtual bool Read(uint64_t start, uint64_t end, std::vector<uint8_t>& data) = 0;
};

enum class EPartCheck { kVerified, kFailed, kUndecided };

struct _tagStructBlockOutcome {
  bool stored = false;         // written and taken off the requested and required lists
  bool partCompleted = false;  // no required range is left in the block's part
  EPartCheck partCheck = EPartCheck::kUndecided;
  bool finished = false;  // nothing is required any more
};

class CTARNNetDownloadBlocks {
 public:
  explicit CTARNNetDownloadBlocks(CTARNNetTransferFile& file) : file_(file) {}

  // A fresh download of the file's size: everything required, nothing asked for.
  void Reset();

  CTARNNetRequireBlockPartList& Required() { return required_; }
  CTARNNetRequestBlockList& Requested() { return requested_; }
  CTARNNetUntrustBlockPartList& Untrusted() { return untrusted_; }
  CTARNNetPartFrequencyList& Frequency() { return frequency_; }

  // Fills `request` with up to three blocks for a source holding the parts of `partBitmap`;
  // returns how many went in. Blocks new to the requested list come first, rarest part first;
  // when none is left, blocks on their way from other sources; never one of `askedOfSource`,
  // the ranges this source was asked for in its current upload slot.
  uint32_t ChooseBlocks(std::span<const uint8_t> partBitmap, _tagStructRequestRecord& request,
                        uint32_t wanted,
                        std::span<const std::pair<uint64_t, uint64_t>> askedOfSource = {});
  // A request that will not be answered: its blocks may be asked of others again.
  void ForgetRequest(const _tagStructRequestRecord& request);
  // A stored block whose write failed later: it is required again, and its part counts as
  // neither complete nor hashed as it arrived.
  void Unstore(uint64_t start, uint64_t end);

  _tagStructBlockOutcome AcceptBlock(uint64_t start, std::span<const uint8_t> data,
                                     ITARNNetPartStorage& storage);
  // Checks a part with nothing left required. A failing part's blocks become required again
  // (only the bad blocks when the AICH tree can tell them apart). A part failing its MD4
  // while a trusted AICH root is known keeps its blocks and waits for recovery data (see
  // AwaitsRecovery); checked again once the data is there, it gives back only the bad blocks.
  // Without recovery data within kRecoveryWait, the whole part is required again.
  EPartCheck VerifyPart(uint32_t part, ITARNNetPartStorage& storage);
  // The part failed its MD4 and waits for AICH recovery data to tell its bad blocks apart.
  bool AwaitsRecovery(uint32_t part) const;
  // Parts waiting for recovery data, in the order they failed.
  std::vector<uint32_t> PartsAwaitingRecovery() const;

  static constexpr uint32_t kRecoveryWait = 30000;

  // After this many checks of a part in a row that fail with the same digest the download
  // cannot succeed: FailsConsistently holds until ForgiveFailures.
  static constexpr uint32_t kIdenticalFailures = 3;
  bool FailsConsistently() const { return failsConsistently_; }
  void ForgiveFailures() {
    repeated_.Clear();
    failsConsistently_ = false;
  }

 private:
  bool PartWanted(uint32_t part, std::span<const uint8_t> partBitmap) const
      REQUIRES(file_.LockObject());
  void MarkComplete(uint32_t part) REQUIRES(file_.LockObject());
  EPartCheck VerifyByAICH(uint64_t partStart, ITARNNetPartStorage& storage)
      REQUIRES(file_.LockObject());
  EPartCheck VerifyByMD4(uint32_t part, uint64_t start, uint64_t end, ITARNNetPartStorage& storage)
      REQUIRES(file_.LockObject());
  void RequireBlocks(uint64_t start, uint64_t end);
  bool CanAwaitRecovery() const REQUIRES(file_.LockObject());
  void StopAwaiting(uint32_t part);

  struct SAwaitedPart {
    uint32_t part = 0;
    uint32_t since = 0;  // tick of the failed check
  };

  CTARNNetTransferFile& file_;
  CTARNNetRequireBlockPartList required_;
  CTARNNetRequestBlockList requested_;
  CTARNNetUntrustBlockPartList untrusted_;
  CTARNNetPartFrequencyList frequency_;
  HASH::CTARNNetRunningPartDigests digests_;
  std::vector<SAwaitedPart> awaiting_;
  CTARNNetRepeatedPartFailures repeated_;
  bool failsConsistently_ = false;
};

// Calls `visit(start, end)` for each request block of `part`: consecutive 184320-byte ranges
// from the part's start, the last cut at the part's end.
template <typename Visit>
void ForEachPartBlock(uint64_t fileSize, uint32_t part, Visit visit) {
  const uint64_t start = HASH::PartStart(part);
  const uint64_t end = start + HASH::PartLength(fileSize, part);
  for (uint64_t block = start; block < end;) {
    const uint64_t blockEnd =
        end - block > HASH::kAICHBlockSize ? block + HASH::kAICHBlockSize : end;
    if (!visit(block, blockEnd)) return;
    block = blockEnd;
  }
}

}  // namespace P2P::Shared::File::TransferFile
