// The source list of a file (peers known to have it, keyed by client id) and the small list of
// remote items (client id and port). Not synchronised; the owning transfer file's lock guards
// them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"

namespace P2P::Remote::Peer {

// What a peer is known to hold of the file, from the part status it last sent.
enum class EPeerHolds : uint8_t { kUnknown, kNothing, kParts };

struct _tagStructPeer {
  _tagUnionHash userHash;
  uint32_t clientId = 0;
  uint16_t port = 0;
  uint32_t serverAddress = 0;
  uint16_t serverPort = 0;
  EPeerHolds holds = EPeerHolds::kUnknown;

  bool operator==(const _tagStructPeer&) const = default;
};

class CTARNNetPeerList {
 public:
  using const_iterator = std::vector<_tagStructPeer>::const_iterator;

  // A peer whose client id is listed overwrites that entry; otherwise it is appended.
  void Add(const _tagStructPeer& peer);
  // A peer seen just now goes to the end, replacing its entry; beyond `cap` peers the one
  // seen longest ago goes.
  void AddRecent(const _tagStructPeer& peer, size_t cap);
  // What we learned of a listed peer since: its user hash (when not zero), what it holds
  // (when known). False when the peer is not listed.
  bool Update(uint32_t clientId, const _tagUnionHash& userHash, EPeerHolds holds);
  // Up to `count` of the peers that `wanted` accepts, those known to hold parts first and
  // those known to hold nothing last, in list order otherwise.
  template <typename Wanted>
  CTARNNetPeerList Select(size_t count, Wanted wanted) const;
  bool Contains(uint32_t clientId) const;
  const _tagStructPeer* Find(uint32_t clientId) const;
  bool Remove(uint32_t clientId);
  void Clear() { peers_.clear(); }
  size_t Size() const { return peers_.size(); }
  const_iterator begin() const { return peers_.begin(); }
  const_iterator end() const { return peers_.end(); }

  // uint16 count, then per peer client id, port, server address, server port and, when asked,
  // the user hash. At most 65535 peers are written.
  bool WriteSources(Protocol::CStreamWriter& writer, bool withUserHash) const;

 private:
  std::vector<_tagStructPeer> peers_;
};

template <typename Wanted>
CTARNNetPeerList CTARNNetPeerList::Select(size_t count, Wanted wanted) const {
  CTARNNetPeerList chosen;
  for (const EPeerHolds holds : {EPeerHolds::kParts, EPeerHolds::kUnknown, EPeerHolds::kNothing})
    for (const _tagStructPeer& peer : peers_)
      if (chosen.Size() < count && peer.holds == holds && wanted(peer))
        chosen.peers_.push_back(peer);
  return chosen;
}

}  // namespace P2P::Remote::Peer

namespace P2P::Remote {

struct _tagStructRemoteItem {
  uint32_t clientId = 0;
  uint16_t port = 0;
};

class CTARNNetRemoteItemList {
 public:
  void Add(const _tagStructRemoteItem& item) { items_.push_back(item); }
  bool Contains(uint32_t clientId) const;
  bool Remove(uint32_t clientId);
  size_t Size() const { return items_.size(); }
  void Clear() { items_.clear(); }

 private:
  std::vector<_tagStructRemoteItem> items_;
};

}  // namespace P2P::Remote
