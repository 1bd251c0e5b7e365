#include "engine/transfer/PeerList.h"

#include <algorithm>

namespace P2P::Remote::Peer {

void CTARNNetPeerList::Add(const _tagStructPeer& peer) {
  for (_tagStructPeer& held : peers_) {
    if (held.clientId == peer.clientId) {
      held = peer;
      return;
    }
  }
  peers_.push_back(peer);
}

void CTARNNetPeerList::AddRecent(const _tagStructPeer& peer, size_t cap) {
  Remove(peer.clientId);
  if (cap == 0) return;
  if (peers_.size() >= cap)
    peers_.erase(peers_.begin(), peers_.begin() + (peers_.size() - cap + 1));
  peers_.push_back(peer);
}

bool CTARNNetPeerList::Update(uint32_t clientId, const _tagUnionHash& userHash, EPeerHolds holds) {
  for (_tagStructPeer& peer : peers_) {
    if (peer.clientId != clientId) continue;
    if (!userHash.IsZero()) peer.userHash = userHash;
    if (holds != EPeerHolds::kUnknown) peer.holds = holds;
    return true;
  }
  return false;
}

bool CTARNNetPeerList::Contains(uint32_t clientId) const { return Find(clientId) != nullptr; }

const _tagStructPeer* CTARNNetPeerList::Find(uint32_t clientId) const {
  for (const _tagStructPeer& peer : peers_)
    if (peer.clientId == clientId) return &peer;
  return nullptr;
}

bool CTARNNetPeerList::Remove(uint32_t clientId) {
  return std::erase_if(peers_,
                       [clientId](const auto& peer) { return peer.clientId == clientId; }) != 0;
}

bool CTARNNetPeerList::WriteSources(Protocol::CStreamWriter& writer, bool withUserHash) const {
  const size_t count = std::min<size_t>(peers_.size(), 0xFFFF);
  std::vector<uint8_t> bytes;
  Protocol::CStreamWriter out(bytes);
  out.WriteUInt16(static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    const _tagStructPeer& peer = peers_[i];
    out.WriteUInt32(peer.clientId);
    out.WriteUInt16(peer.port);
    out.WriteUInt32(peer.serverAddress);
    out.WriteUInt16(peer.serverPort);
    if (withUserHash) out.WriteHash(peer.userHash);
  }
  return writer.WriteBytes(bytes);
}

}  // namespace P2P::Remote::Peer

namespace P2P::Remote {

bool CTARNNetRemoteItemList::Contains(uint32_t clientId) const {
  return std::any_of(items_.begin(), items_.end(),
                     [clientId](const auto& item) { return item.clientId == clientId; });
}

bool CTARNNetRemoteItemList::Remove(uint32_t clientId) {
  return std::erase_if(items_,
                       [clientId](const auto& item) { return item.clientId == clientId; }) != 0;
}

}  // namespace P2P::Remote
