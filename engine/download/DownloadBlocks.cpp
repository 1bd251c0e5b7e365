#include "engine/download/DownloadBlocks.h"

#include <algorithm>
#include <vector>

#include "engine/hashing/Digest.h"
#include "engine/library/FileTime.h"
#include "framework/TickSource.h"

namespace P2P::Shared::File::TransferFile {

void CTARNNetDownloadBlocks::Reset() {
  const uint64_t size = file_.GetSize();
  required_.Clear();
  requested_.Clear();
  untrusted_.Clear();
  digests_.Clear();
  awaiting_.clear();
  if (size > 0) required_.Add(0, size);
  frequency_.Reset(HASH::PartCount(size));
}

bool CTARNNetDownloadBlocks::PartWanted(uint32_t part, std::span<const uint8_t> partBitmap) const {
  if (part >= partBitmap.size() || partBitmap[part] == 0) return false;
  const std::vector<uint8_t>& complete = file_.CompletionBitmap();
  return part >= complete.size() || complete[part] == 0;
}

uint32_t CTARNNetDownloadBlocks::ChooseBlocks(
    std::span<const uint8_t> partBitmap, _tagStructRequestRecord& request, uint32_t wanted,
    std::span<const std::pair<uint64_t, uint64_t>> askedOfSource) {
  file_.LockObject().AssertHeld();
  request.Clear();
  wanted = std::min<uint32_t>(wanted, _tagStructRequestRecord::kPairs);
  if (wanted == 0) return 0;
  const uint64_t size = file_.GetSize();
  // A block this source was asked for in its current slot is not asked of it again: senders
  // send a range once in a slot.
  const auto askedAlready = [&](const _tagStructBlockPart& block) {
    return std::any_of(askedOfSource.begin(), askedOfSource.end(), [&](const auto& asked) {
      return asked.first < block.end && block.start < asked.second;
    });
  };
  CTARNNetBlockPartList chosen;
  for (const _tagStructPartFrequency& entry : frequency_.Entries()) {
    if (!PartWanted(entry.part, partBitmap)) continue;
    ForEachPartBlock(size, entry.part, [&](uint64_t start, uint64_t end) {
      if (required_.Contains(start, end) && !requested_.Contains(start, end) &&
          !askedAlready({start, end}))
        chosen.Add(start, end);
      return chosen.Size() < wanted;
    });
    if (!chosen.Empty()) {
      request.FillFrom(chosen);
      request.AddTo(requested_);
      return static_cast<uint32_t>(chosen.Size());
    }
  }
  // Every free block is on its way from someone: ask this source too.
  for (const _tagStructBlockPart& block : requested_) {
    if (chosen.Size() == wanted) break;
    if (PartWanted(static_cast<uint32_t>(block.start / HASH::kPartSize), partBitmap) &&
        !askedAlready(block))
      chosen.Add(block);
  }
  request.FillFrom(chosen);
  return static_cast<uint32_t>(chosen.Size());
}

void CTARNNetDownloadBlocks::ForgetRequest(const _tagStructRequestRecord& request) {
  for (size_t i = 0; i < _tagStructRequestRecord::kPairs; ++i)
    if (request.UsedPair(i)) requested_.Erase(request.start[i], request.end[i]);
}

void CTARNNetDownloadBlocks::Unstore(uint64_t start, uint64_t end) {
  file_.LockObject().AssertHeld();
  const auto part = static_cast<uint32_t>(start / HASH::kPartSize);
  digests_.Forget(HASH::PartStart(part));
  untrusted_.RemoveWithin(start, end);
  required_.Add(start, end);
  std::vector<uint8_t>& complete = file_.CompletionBitmap();
  if (part < complete.size()) complete[part] = 0;
}

_tagStructBlockOutcome CTARNNetDownloadBlocks::AcceptBlock(uint64_t start,
                                                           std::span<const uint8_t> data,
                                                           ITARNNetPartStorage& storage) {
  file_.LockObject().AssertHeld();
  _tagStructBlockOutcome outcome;
  if (data.empty() || data.size() > HASH::kAICHBlockSize) return outcome;
  const uint64_t end = start + data.size();
  if (end < start || !requested_.Contains(start, end)) return outcome;

  HASH::CTARNNetFileHashSet& hashSet = file_.HashSet();
  if (hashSet.IsRangeVerified(start, end)) {
    const auto* node = hashSet.Tree().FindRange(start, end - start);
    if (node == nullptr || !HASH::CheckSHA1(data, node->hash)) return outcome;  // asked again later
  } else {
    // Both hashes are left empty: a part is checked by its running digest, and a block's
    // SHA-1 is taken from the part file only when the AICH tree is asked to judge it, which
    // is rare; a SHA-1 of every block would cost the receiving thread a third of its time.
    _tagUntrustBlockPart record{start, end, {}, {}};
    if (!untrusted_.Contains(record)) {
      untrusted_.RemoveWithin(start, end);  // an earlier copy of the same block is superseded
      untrusted_.Add(record);
    }
  }

  const auto part = static_cast<uint32_t>(start / HASH::kPartSize);
  const uint64_t partStart = HASH::PartStart(part);
  const uint64_t partEnd = partStart + HASH::PartLength(file_.GetSize(), part);
  if (!storage.WriteBlock(start, data)) {
    digests_.Forget(partStart);  // what a failed write left on disk is unknown
    return outcome;
  }
  digests_.Written(partStart, partEnd, start, data);
  requested_.Remove(start, end);
  required_.Remove(start, end);
  file_.SetLastWriteTime(FileTimeNow());
  outcome.stored = true;

  if (!required_.Overlaps(partStart, partEnd)) {
    outcome.partCompleted = true;
    outcome.partCheck = VerifyPart(part, storage);
  }
  outcome.finished = required_.Empty();
  return outcome;
}

EPartCheck CTARNNetDownloadBlocks::VerifyPart(uint32_t part, ITARNNetPartStorage& storage) {
  file_.LockObject().AssertHeld();
  const uint64_t start = HASH::PartStart(part);
  const uint32_t length = HASH::PartLength(file_.GetSize(), part);
  if (length == 0) return EPartCheck::kFailed;
  const uint64_t end = start + length;
  EPartCheck result;
  if (!untrusted_.AnyWithin(start, end)) {
    result = EPartCheck::kVerified;
  } else if (file_.HashSet().IsRangeVerified(start, end)) {
    result = VerifyByAICH(start, storage);
  } else if (AwaitsRecovery(part)) {
    result = EPartCheck::kUndecided;
    const auto waited = std::find_if(awaiting_.begin(), awaiting_.end(),
                                     [part](const SAwaitedPart& entry) { return entry.part == part; });
    if (OSTREL::Process::CTickSource::Now() - waited->since >= kRecoveryWait) {
      // No recovery data came: the part is fetched again whole, as without a tree.
      untrusted_.RemoveWithin(start, end);
      RequireBlocks(start, end);
      result = EPartCheck::kFailed;
    }
  } else {
    result = VerifyByMD4(part, start, end, storage);
  }
  if (result != EPartCheck::kUndecided) {
    digests_.Forget(start);
    StopAwaiting(part);
  }
  if (result == EPartCheck::kVerified) MarkComplete(part);
  return result;
}

EPartCheck CTARNNetDownloadBlocks::VerifyByAICH(uint64_t start, ITARNNetPartStorage& storage) {
  const HASH::CTARNNetAICHTree& tree = file_.HashSet().Tree();
  bool allMatch = true;
  std::vector<uint8_t> data;
  const auto part = static_cast<uint32_t>(start / HASH::kPartSize);
  ForEachPartBlock(file_.GetSize(), part, [&](uint64_t first, uint64_t last) {
    const _tagUntrustBlockPart* record = untrusted_.Find(first, last);
    if (record == nullptr) return true;
    const auto* node = tree.FindRange(first, last - first);
    // The block is judged as stored: its record keeps no hash.
    const bool match =
        node != nullptr && storage.Read(first, last, data) && node->hash == HASH::SHA1Of(data);
    untrusted_.RemoveWithin(first, last);
    // Every bad block goes back, not only the first: each would fail the part again.
    if (!match) {
      required_.Add(first, last);
      allMatch = false;
    }
    return true;
  });
  return allMatch ? EPartCheck::kVerified : EPartCheck::kFailed;
}

EPartCheck CTARNNetDownloadBlocks::VerifyByMD4(uint32_t part, uint64_t start, uint64_t end,
                                               ITARNNetPartStorage& storage) {
  const HASH::MD4_HASH::CTARNNetHashList& hashes = file_.HashSet().HashList();
  std::optional<_tagUnionHash> expected;
  if (HASH::PartCount(file_.GetSize()) == 1)
    expected = file_.GetHash();
  else if (part < hashes.Size())
    expected = hashes[part];
  if (!expected) return EPartCheck::kUndecided;  // the hash set has not arrived yet

  // The running digest covers the part's prefix written in order; the rest is read back.
  uint64_t hashedEnd = start;
  HASH::CMD4Digest readBack;
  HASH::CMD4Digest* md4 = digests_.Find(start, hashedEnd);
  if (md4 == nullptr) md4 = &readBack;
  const bool read = hashedEnd == end ||
                    storage.DigestRange(hashedEnd, static_cast<uint32_t>(end - hashedEnd), *md4);
  const std::optional<_tagUnionHash> actual =
      read ? std::optional<_tagUnionHash>(md4->Final()) : std::nullopt;
  digests_.Forget(start);
  if (actual && *actual == *expected) {
    untrusted_.RemoveWithin(start, end);
    return EPartCheck::kVerified;
  }
  if (actual && repeated_.Note(part, *actual) >= kIdenticalFailures) failsConsistently_ = true;
  if (actual && CanAwaitRecovery()) {
    // The blocks' SHA-1s are kept: recovery data for the part will tell the bad ones.
    SAwaitedPart waiting;
    waiting.part = part;
    waiting.since = OSTREL::Process::CTickSource::Now();
    awaiting_.push_back(waiting);
    return EPartCheck::kUndecided;
  }
  untrusted_.RemoveWithin(start, end);
  RequireBlocks(start, end);
  return EPartCheck::kFailed;
}

bool CTARNNetDownloadBlocks::CanAwaitRecovery() const {
  const HASH::CTARNNetFileHashSet& hashes = file_.HashSet();
  return hashes.GetRootHash() != nullptr &&
         hashes.GetStatus() >= HASH::CTARNNetFileHashSet::kStatusTrusted &&
         awaiting_.size() < file_.PartCount();
}

bool CTARNNetDownloadBlocks::AwaitsRecovery(uint32_t part) const {
  return std::any_of(awaiting_.begin(), awaiting_.end(),
                     [part](const SAwaitedPart& entry) { return entry.part == part; });
}

std::vector<uint32_t> CTARNNetDownloadBlocks::PartsAwaitingRecovery() const {
  std::vector<uint32_t> parts;
  parts.reserve(awaiting_.size());
  for (const SAwaitedPart& entry : awaiting_) parts.push_back(entry.part);
  return parts;
}

void CTARNNetDownloadBlocks::StopAwaiting(uint32_t part) {
  std::erase_if(awaiting_, [part](const SAwaitedPart& entry) { return entry.part == part; });
}

void CTARNNetDownloadBlocks::RequireBlocks(uint64_t start, uint64_t end) {
  const auto part = static_cast<uint32_t>(start / HASH::kPartSize);
  ForEachPartBlock(file_.GetSize(), part, [&](uint64_t first, uint64_t last) {
    if (first >= start && last <= end) required_.Add(first, last);
    return true;
  });
}

void CTARNNetDownloadBlocks::MarkComplete(uint32_t part) {
  std::vector<uint8_t>& complete = file_.CompletionBitmap();
  if (complete.size() != file_.PartCount()) complete.assign(file_.PartCount(), 0);
  if (part < complete.size()) complete[part] = 1;
}

}  // namespace P2P::Shared::File::TransferFile
