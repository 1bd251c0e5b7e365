// The process-wide list of every transfer file (downloads and shared files), reached through
// its singleton. It writes the offer list the server session sends, and runs the periodic
// statistics sample of every unfinished file. Any thread; the list lock guards the entries.
#pragma once

#include <cstdint>

#include "engine/library/SharedFileList.h"
#include "engine/transfer/TransferFile.h"
#include "framework/Singleton.h"

namespace P2P::Shared::File::TransferFile {

// What the server session knows when it offers the files.
struct _tagStructServerOfferParams {
  uint32_t ownClientId = 0;
  uint16_t ownPort = 0;
  uint32_t serverFileLimit = 0;  // 0: the default limit
  // Bit 0: mark files complete / incomplete instead of own id; kServerFlagLargeFiles: the
  // server takes files above the small-file size (others are never offered them).
  uint32_t serverTcpFlags = 0;
  bool compactTags = false;
  bool mediaTagsById = true;
};

class CTARNNetTransferFileList : public OSTREL::CSingletonPtr<CTARNNetTransferFileList>,
                                 public ITARNNetSharedFileListT<CTARNNetTransferFile> {
 public:
  static constexpr uint32_t kDefaultServerFileLimit = 200;
  static constexpr uint32_t kCompleteClientId = 0xFBFBFBFBu;
  static constexpr uint16_t kCompletePort = 0xFBFB;
  static constexpr uint32_t kIncompleteClientId = 0xFCFCFCFCu;
  static constexpr uint16_t kIncompletePort = 0xFCFC;

  // The offer-files payload: a uint32 count and, in list order, at most the server's limit of
  // offer records. Files whose record cannot be written, and large files to a server that
  // does not take them, are left out. False (nothing written) only when the writer has no room.
  bool WriteOfferList(Protocol::CStreamWriter& writer,
                      const _tagStructServerOfferParams& params) const;

  // The statistics sample of every file that is not finished.
  void SampleStatistics() const;

  bool Stop() override;
};

}  // namespace P2P::Shared::File::TransferFile
