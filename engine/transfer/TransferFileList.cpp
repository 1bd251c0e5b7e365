#include "engine/transfer/TransferFileList.h"

#include "engine/protocol/ServerRequests.h"

namespace P2P::Shared::File::TransferFile {

bool CTARNNetTransferFileList::WriteOfferList(Protocol::CStreamWriter& writer,
                                              const _tagStructServerOfferParams& params) const {
  const uint32_t limit =
      params.serverFileLimit != 0 ? params.serverFileLimit : kDefaultServerFileLimit;
  const bool markCompletion = (params.serverTcpFlags & 1) != 0;
  const bool largeFiles = (params.serverTcpFlags & Protocol::kServerFlagLargeFiles) != 0;
  const _tagStructOfferOptions options{params.compactTags, params.mediaTagsById};

  OSTREL::Process::CLock guard(lock_);
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter out(bytes);
  out.WriteUInt32(0);
  uint32_t written = 0;
  for (const FilePtr& file : files_) {
    if (written == limit) break;
    _tagStructSharedFile record = file->GetRecord();
    if (record.hash.IsZero()) continue;  // a cancelled download on its way out
    if (!largeFiles && Protocol::IsLargeFileSize(record.info.size)) continue;
    if (markCompletion) {
      const bool finished = file->Data()->IsFinished();
      record.clientId = finished ? kCompleteClientId : kIncompleteClientId;
      record.port = finished ? kCompletePort : kIncompletePort;
    } else {
      record.clientId = params.ownClientId;
      record.port = params.ownPort;
    }
    if (WriteOfferRecord(out, record, options)) ++written;
  }
  out.PatchUInt32(0, written);
  return writer.WriteBytes(bytes);
}

void CTARNNetTransferFileList::SampleStatistics() const {
  for (const FilePtr& file : Snapshot())
    if (const auto data = file->Data(); !data->IsFinished()) data->StatisticsSample();
}

bool CTARNNetTransferFileList::Stop() {
  Clear();
  return CSingletonPtr<CTARNNetTransferFileList>::Stop();
}

}  // namespace P2P::Shared::File::TransferFile
