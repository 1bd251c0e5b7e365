// Source exchange as the sessions speak it on both sides: the clients that ask us for a file
// are recorded as its sources (a client downloading a file is a source of the parts it has),
// and a client asking for the sources of a file is given those we know and it could reach.
// Any thread: the file's lock is taken where its source list is read or changed.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/protocol/PeerFileMessages.h"
#include "engine/protocol/PeerMessages.h"
#include "engine/transfer/TransferFile.h"

namespace P2P {

// A remote client as its hello describes it, as an entry of a source list; what it holds from
// the part status it sent with its file request.
Remote::Peer::_tagStructPeer SourceRecordOf(const Protocol::_tagStructPeerIdentity& identity,
                                            const Protocol::SAskerParts& asker);
// Another client could reach it: a high id, or a low id through its server; and a port.
bool IsReachableSource(const Remote::Peer::_tagStructPeer& source);

// `asker` asked us for `file`. A shared file lists it among the clients that asked (the
// latest kept); a download takes it as a source when it holds parts, and a source listed
// already learns its user hash and what it holds.
void RecordAsker(Shared::File::TransferFile::CTARNNetTransferFile& file,
                 const Remote::Peer::_tagStructPeer& asker);

// The source list for `asker`: at most 500 reachable sources of `file`, those known to hold
// parts first, the asker left out; with user hashes when its source exchange version is above
// 1. None when there is no source to give.
std::optional<std::vector<uint8_t>> SourceAnswer(
    Shared::File::TransferFile::CTARNNetTransferFile& file,
    const Remote::Peer::_tagStructPeer& asker, bool withUserHash);

}  // namespace P2P
