// How both sides of a peer session find the file a packet names and describe one of our
// files to the remote client. Any thread (the file's lock is taken where needed).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "engine/hashing/AICHHash.h"
#include "engine/net/PeerLink.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/protocol/PeerFileMessages.h"
#include "engine/transfer/TransferFile.h"

namespace P2P {

// The file named by the hash a packet's payload starts with. An unknown file ends the session
// on `link` (after a file-not-found answer when `answer`); a payload too short to name a file
// is ignored. Null for both. A file above kMaxSmallFileSize is unknown to a remote client that
// does not take large files (`largeFiles` false): it is never offered one.
Shared::File::TransferFile::CTransferFilePtr KnownFileOr(const CPeerSessionContext& context,
                                                         ITARNNetPeerLink& link,
                                                         std::span<const uint8_t> payload,
                                                         bool answer, bool largeFiles = true);

// What an AICH recovery request carries, and its answer starts with: the file, the part and
// the root the asker trusts; `rest` is what follows (an answer's recovery data).
struct SAichPartMessage {
  Shared::File::TransferFile::CTransferFilePtr file;
  uint16_t part = 0;
  HASH::_tagStructAICHHash root;
  std::span<const uint8_t> rest;
};
// The file is found as KnownFileOr finds it; nothing when it is unknown or the part and root
// are cut short.
std::optional<SAichPartMessage> ReadAichPartMessage(const CPeerSessionContext& context,
                                                    ITARNNetPeerLink& link,
                                                    std::span<const uint8_t> payload, bool answer,
                                                    bool largeFiles = true);

// Whole when the file is complete, else its verified parts.
Protocol::SPartStatus PartStatusOf(Shared::File::TransferFile::CTARNNetTransferFile& file);

}  // namespace P2P
