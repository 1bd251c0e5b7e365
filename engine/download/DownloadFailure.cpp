// Downloads that cannot succeed: every source has the file with another size than the one
// asked for (a link with the wrong size), or the data of a part keeps failing its check the
// same way. Such a download stops taking data and sources, says why, and keeps what it has,
// instead of fetching the same bytes for ever. Split from DownloadFileData.cpp.
#include <algorithm>

#include "engine/download/DownloadFileData.h"
#include "framework/CriticalSection.h"
#include "framework/Log.h"
#include "framework/LogText.h"

namespace P2P::Shared::File::TransferFile {

using OSTREL::Process::CLock;

std::string CTARNNetDownloadFileData::FailureReason() const {
  CLock guard(failureLock_);
  return failure_;
}

bool CTARNNetDownloadFileData::Fail(std::string reason) {
  {
    CLock guard(failureLock_);
    if (!failure_.empty()) return false;
    // Stopped before its reason shows: whoever reads the reason finds it taking nothing more.
    stopped_.store(true);
    speed_.store(0);
    failure_ = std::move(reason);
    OSTREL::LogWarning("Download \"", OSTREL::EscapeForLog(file_->GetName()),
                       "\" failed: ", failure_);
  }
  AnnounceChange();
  return true;
}

bool CTARNNetDownloadFileData::NoteSizeDisagreement(uint32_t source, uint32_t theirParts,
                                                    uint32_t ourParts) {
  size_t sources = 0;
  {
    CLock guard(file_->LockObject());
    if (finished_.load()) return false;
    sources = file_->Sources().Size();
  }
  {
    CLock guard(failureLock_);
    if (std::find(disagreeing_.begin(), disagreeing_.end(), source) == disagreeing_.end())
      disagreeing_.push_back(source);
    if (disagreeing_.size() < std::max<size_t>(sources, 1)) return false;
  }
  return Fail("every source has this file with another size than " +
              std::to_string(file_->GetSize()) + " bytes (" + std::to_string(theirParts) +
              " parts counted where this size has " + std::to_string(ourParts) + ")");
}

void CTARNNetDownloadFileData::FailIfDataNeverFits() {
  {
    CLock guard(file_->LockObject());
    if (finished_.load() || !blocks_.FailsConsistently()) return;
  }
  Fail("the data every source sends fails the hash check of these " +
       std::to_string(file_->GetSize()) + " bytes the same way " +
       std::to_string(CTARNNetDownloadBlocks::kIdenticalFailures) +
       " times: the file with this hash has another size");
}

}  // namespace P2P::Shared::File::TransferFile
