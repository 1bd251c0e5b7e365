#include "engine/protocol/C2STCPDispatcher.h"

#include <algorithm>
#include <array>

#include "engine/protocol/Packet.h"

namespace P2P::Protocol {
namespace {

using Handler = ITARNNetC2STCPEventDispatcher;
using Payload = std::span<const uint8_t>;

void OnReject(Handler& h, Payload, SRefusal&) { h.OnReject(); }
void OnCallbackFailed(Handler& h, Payload, SRefusal&) { h.OnCallbackFailed(); }

void OnServerList(Handler& h, Payload payload, SRefusal& refusal) {
  if (auto list = ParseServerList(payload, &refusal)) h.OnServerList(*list);
}

void OnSearchResult(Handler& h, Payload payload, SRefusal& refusal) {
  auto results = ParseSearchResults(payload, &refusal);
  if (!results) return;
  for (const SOfferRecord& record : results->records) h.OnSearchResult(record);
  h.OnSearchResultEnd(results->more);
}

void OnServerStatus(Handler& h, Payload payload, SRefusal& refusal) {
  uint32_t users = 0, files = 0;
  if (ReadUInt32Pair(payload, users, files, &refusal)) h.OnServerStatus(users, files);
}

void OnCallbackRequested(Handler& h, Payload payload, SRefusal& refusal) {
  SAddressPort peer;
  if (ReadAddressPort(payload, peer, &refusal)) h.OnCallbackRequested(peer.address, peer.port);
}

void OnServerMessage(Handler& h, Payload payload, SRefusal& refusal) {
  if (auto text = ParseServerMessage(payload, &refusal)) h.OnServerMessage(*text);
}

void OnIdChange(Handler& h, Payload payload, SRefusal& refusal) {
  // Without the flags the message is not a complete login answer.
  uint32_t id = 0, flags = 0;
  if (ReadUInt32Pair(payload, id, flags, &refusal)) h.OnIdChange(id, flags);
}

void OnServerIdent(Handler& h, Payload payload, SRefusal& refusal) {
  if (auto ident = ParseServerIdent(payload, &refusal)) h.OnServerIdent(*ident);
}

void OnFoundSources(Handler& h, Payload payload, SRefusal& refusal) {
  if (auto found = ParseFoundSources(payload, &refusal)) h.OnFoundSources(*found);
}

struct SOpcodeEntry {
  uint8_t opcode;
  void (*handle)(Handler&, Payload, SRefusal&);
};

constexpr std::array kServerTcpTable{
    SOpcodeEntry{kOpReject, OnReject},
    SOpcodeEntry{kOpServerList, OnServerList},
    SOpcodeEntry{kOpSearchResult, OnSearchResult},
    SOpcodeEntry{kOpServerStatus, OnServerStatus},
    SOpcodeEntry{kOpCallbackRequested, OnCallbackRequested},
    SOpcodeEntry{kOpCallbackFailed, OnCallbackFailed},
    SOpcodeEntry{kOpServerMessage, OnServerMessage},
    SOpcodeEntry{kOpIdChange, OnIdChange},
    SOpcodeEntry{kOpServerIdent, OnServerIdent},
    SOpcodeEntry{kOpFoundSources, OnFoundSources},
};

}  // namespace

bool DispatchServerTcpPacket(Handler& handler, uint8_t opcode, uint8_t protocol, Payload payload) {
  if (protocol != kProtocolEDonkey && protocol != kProtocolPacked) return handler.IsSessionOpen();
  const auto entry = std::find_if(kServerTcpTable.begin(), kServerTcpTable.end(),
                                  [opcode](const SOpcodeEntry& e) { return e.opcode == opcode; });
  if (entry == kServerTcpTable.end()) return handler.IsSessionOpen();
  SRefusal refusal;
  entry->handle(handler, payload, refusal);
  if (refusal) handler.OnRefused(opcode, refusal);
  return handler.IsSessionOpen();
}

}  // namespace P2P::Protocol
