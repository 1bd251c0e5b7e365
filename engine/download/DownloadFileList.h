// The list of running downloads, owned by the download manager: adding makes the manager the
// download's event sink and raises added; removing and clearing detach the download object
// before the file leaves the list. Any thread; the list lock guards the entries.
#pragma once

#include "engine/download/DownloadEventHandler.h"
#include "engine/library/SharedFileList.h"
#include "engine/transfer/TransferFile.h"

namespace P2P::Shared::File::TransferFile {

class CTARNNetDownloadFileList : public ITARNNetTransferFilePtrListT<CTARNNetTransferFile> {
 public:
  // The sink every added download reports to (the manager); set before the first add.
  void SetEventSink(ITARNNetP2PDownloadEventHandler* sink) { sink_ = sink; }

  bool Add(const FilePtr& file) override;
  bool Remove(const CTARNNetTransferFile* file) override;
  void Clear() override;

 private:
  ITARNNetP2PDownloadEventHandler* sink_ = nullptr;
};

}  // namespace P2P::Shared::File::TransferFile
