// The source list of a file (peers known to have it, keyed by client id) and the small list of
// remote items (client id and port). Not synchronised; the owning transfer file's lock guards
// them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/protocol/Stream.h"

namespace P2P::Remote::Peer {

struct _tagStructPeer {
  _tagUnionHash userHash;
  uint32_t clientId = 0;
  uint16_t port = 0;
  uint32_t serverAddress = 0;
  uint16_t serverPort = 0;

  bool operator==(const _tagStructPeer&) const = default;
};

class CTARNNetPeerList {
 public:
  using const_iterator = std::vector<_tagStructPeer>::const_iterator;

  // A peer whose client id is listed overwrites that entry; otherwise it is appended.
  void Add(const _tagStructPeer& peer);
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
