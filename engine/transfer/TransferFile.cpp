#include "engine/transfer/TransferFile.h"

#include "framework/CriticalSection.h"

namespace P2P::Shared::File::TransferFile {
namespace {

// What a file that carries nothing answers: every operation's default.
class CNoTransfer final : public ITARNNetTransferFileData {};

}  // namespace

std::shared_ptr<ITARNNetTransferFileData> CTARNNetTransferFile::Data() const {
  static const std::shared_ptr<ITARNNetTransferFileData> none = std::make_shared<CNoTransfer>();
  OSTREL::Process::CLock guard(FieldLock());
  return data_ ? data_ : none;
}

void CTARNNetTransferFile::AttachData(std::shared_ptr<ITARNNetTransferFileData> data) {
  std::shared_ptr<ITARNNetTransferFileData> previous;
  OSTREL::Process::CLock guard(FieldLock());
  previous = std::exchange(data_, std::move(data));
  // `previous` goes after the lock: its destructor may release this file.
}

bool CTARNNetTransferFile::DetachData(const ITARNNetTransferFileData* data) {
  std::shared_ptr<ITARNNetTransferFileData> previous;
  {
    OSTREL::Process::CLock guard(FieldLock());
    if (data == nullptr || data_.get() != data) return false;
    previous = std::move(data_);
  }
  return true;
}

}  // namespace P2P::Shared::File::TransferFile
