// The transfer side of a download: blocks chosen for requests, received data taken in and
// checked, sources' part bitmaps counted. Split from DownloadFileData.cpp, which holds the
// lifecycle (create, restore, save, move, cancel).
#include <cerrno>
#include <system_error>

#include "engine/download/DownloadFileData.h"
#include "engine/download/FreeSpace.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/LogText.h"

namespace P2P::Shared::File::TransferFile {

using OSTREL::Process::CLock;

bool CTARNNetDownloadFileData::AcceptData(const _tagStructReceivedData& data) {
  if (finished_.load()) return false;
  received_.fetch_add(data.newBytes);
  meter_.Add(data.newBytes);
  if (data.block == nullptr) {
    AcceptCount(data.newBytes);
    return true;
  }
  return AcceptBlock(*data.block);
}

void CTARNNetDownloadFileData::AcceptCount(uint32_t newBytes) {
  const uint64_t size = file_->GetSize();
  uint64_t completed = completed_.load();
  while (uint64_t{completed} + newBytes <= size) {
    if (completed_.compare_exchange_weak(completed, completed + newBytes)) return;
  }
  CLock guard(file_->LockObject());
  UpdateCompleted();
}

bool CTARNNetDownloadFileData::AcceptBlock(const CTARNNetTransferBlock& block) {
  if (!block.IsComplete()) return false;
  bool finishedNow = false;
  const char* failure = nullptr;
  int error = 0;
  std::optional<std::string> lack;
  {
    CLock guard(file_->LockObject());
    if (finished_.load()) return false;
    // An earlier block that did not reach the disk stops the download before it takes more.
    const bool earlierLost = TakeFailedWritesLocked(error);
    if (!earlierLost) lack = LackOfSpaceForPartLocked(block.Start());
    const _tagStructBlockOutcome outcome =
        earlierLost || lack ? _tagStructBlockOutcome{}
                            : blocks_.AcceptBlock(block.Start(), block.Data(), partFile_);
    if (lack) {
      // Kept required: asked for again once space is freed and the download resumed.
      blocks_.Requested().Erase(block.Start(), block.End());
    } else if (!outcome.stored) {
      // Not asked for, or refuted by AICH.
      if (!earlierLost && !partFile_.TakeWriteFailure()) return false;
      // Nothing is counted that is not on disk: the block stays required and may be asked
      // for again once the download is resumed.
      blocks_.Requested().Erase(block.Start(), block.End());
      failure = "write";
      if (!earlierLost) error = partFile_.LastError();
    } else {
      UpdateCompleted();
      if (outcome.partCompleted) QueueSaveLocked();
      finishedNow = outcome.finished && AllPartsComplete() && MarkFinished();
    }
  }
  if (lack) {
    Fail(std::move(*lack));
    return false;
  }
  if (failure != nullptr) {
    StopForStorageError(failure, block.Start(), error);
    return false;
  }
  if (finishedNow)
    if (auto* sink = Sink()) sink->OnDownloadCompleted(file_->GetRecord());
  FailIfDataNeverFits();
  return true;
}

std::optional<std::string> CTARNNetDownloadFileData::LackOfSpaceForPartLocked(uint64_t offset) {
  const uint32_t part = static_cast<uint32_t>(offset / HASH::kPartSize);
  const uint64_t start = HASH::PartStart(part);
  const uint64_t length = HASH::PartLength(file_->GetSize(), part);
  // Only the first block of a part asks: the others land where the part's space was counted.
  if (!blocks_.Required().Contains(start, start + length)) return std::nullopt;
  return LackOfSpace(paths_.data.parent_path(), length);
}

void CTARNNetDownloadFileData::StopForStorageError(const char* what, uint64_t offset, int error) {
  stopped_.store(true);
  OSTREL::LogError("Download \"", OSTREL::EscapeForLog(file_->GetName()), "\" stopped: cannot ",
                   what, " the part file ", OSTREL::EscapeForLog(paths_.data.string()),
                   " at offset ", offset, ": ",
                   error != 0 ? std::error_code(error, std::generic_category()).message()
                              : std::string("error"));
  if (auto* sink = Sink()) sink->OnDownloadNotice(file_->GetId());
}

bool CTARNNetDownloadFileData::AllPartsComplete() const {
  const std::vector<uint8_t>& complete = file_->CompletionBitmap();
  if (complete.size() != file_->PartCount()) return false;
  return std::all_of(complete.begin(), complete.end(), [](uint8_t done) { return done != 0; });
}

bool CTARNNetDownloadFileData::MarkFinished() {
  bool expected = false;
  if (!finished_.compare_exchange_strong(expected, true)) return false;
  speed_.store(0);
  file_->CompletionBitmap().clear();
  return true;
}

bool CTARNNetDownloadFileData::RecheckParts() {
  bool changed = false;
  bool finishedNow = false;
  {
    CLock guard(file_->LockObject());
    if (finished_.load()) return false;
    finishedNow = RecheckUndecidedParts(&changed);
  }
  if (finishedNow)
    if (auto* sink = Sink()) sink->OnDownloadCompleted(file_->GetRecord());
  return changed;
}

bool CTARNNetDownloadFileData::RecheckUndecidedParts(bool* decided) {
  const uint64_t size = file_->GetSize();
  const std::vector<uint8_t>& complete = file_->CompletionBitmap();
  bool changed = false;
  for (uint32_t part = 0; part < file_->PartCount(); ++part) {
    if (part < complete.size() && complete[part] != 0) continue;
    const uint64_t start = HASH::PartStart(part);
    if (blocks_.Required().Overlaps(start, start + HASH::PartLength(size, part))) continue;
    changed = blocks_.VerifyPart(part, partFile_) != EPartCheck::kUndecided || changed;
  }
  if (changed) {
    UpdateCompleted();
    SaveLocked();
  }
  if (decided != nullptr) *decided = changed;
  return blocks_.Required().Empty() && AllPartsComplete() && MarkFinished();
}

bool CTARNNetDownloadFileData::CompleteIfDone() {
  bool finishedNow = false;
  {
    CLock guard(file_->LockObject());
    finishedNow = blocks_.Required().Empty() && AllPartsComplete() && MarkFinished();
  }
  if (finishedNow)
    if (auto* sink = Sink()) sink->OnDownloadCompleted(file_->GetRecord());
  return finishedNow;
}

bool CTARNNetDownloadFileData::CountSourceIn(std::span<const uint8_t> partBitmap) {
  CLock guard(file_->LockObject());
  return blocks_.Frequency().AddSource(partBitmap);
}

bool CTARNNetDownloadFileData::CountSourceOut(std::span<const uint8_t> partBitmap) {
  CLock guard(file_->LockObject());
  return blocks_.Frequency().RemoveSource(partBitmap);
}

uint32_t CTARNNetDownloadFileData::ChooseBlocks(
    std::span<const uint8_t> partBitmap, _tagStructRequestRecord& request, uint32_t wanted,
    std::span<const std::pair<uint64_t, uint64_t>> askedOfSource) {
  CLock guard(file_->LockObject());
  if (!NeedsSources()) {
    request.Clear();
    return 0;
  }
  return blocks_.ChooseBlocks(partBitmap, request, wanted, askedOfSource);
}

bool CTARNNetDownloadFileData::ForgetRequest(const _tagStructRequestRecord& request) {
  CLock guard(file_->LockObject());
  if (finished_.load()) return false;
  blocks_.ForgetRequest(request);
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
