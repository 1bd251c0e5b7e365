// What a download needs from the layers above the files: the remote-client records for its
// sources and the server requests for sources. The engine root fills these in; an empty
// function means nobody listens (sources are then only listed with the download). Set before
// the download manager starts; read-only afterwards, so any thread may call them.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/Hash.h"
#include "engine/transfer/TransferFile.h"

namespace P2P::Shared::File::TransferFile {

struct SDownloadHooks {
  // A source joined the download's source list: the client list creates its record.
  std::function<void(const CTransferFilePtr& file, const Remote::Peer::_tagStructPeer& source)>
      sourceAdded;
  std::function<void(const CTransferFilePtr& file, uint32_t clientId)> sourceRemoved;
  // A new download asks for sources: the current server over TCP, then the others over UDP.
  std::function<void(const _tagUnionHash& hash, uint32_t size)> requestSources;
};

}  // namespace P2P::Shared::File::TransferFile
