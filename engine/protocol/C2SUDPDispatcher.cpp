#include "engine/protocol/C2SUDPDispatcher.h"

#include <algorithm>
#include <array>

namespace P2P::Protocol {
namespace {

using Handler = ITARNNetC2SUDPEventDispatcher;
using Payload = std::span<const uint8_t>;

size_t OnStatusAnswer(Handler& h, Payload payload, const SUdpSender& from) {
  // A shorter answer does not carry what the statistics need: it changes nothing.
  if (auto status = ParseStatusAnswer(payload)) h.OnServerStatus(from.address, from.port, *status);
  return payload.size();
}

size_t OnSearchResult(Handler& h, Payload payload, const SUdpSender& from) {
  CStreamReader stream(payload);
  SOfferRecord record;
  if (!ReadOfferRecord(stream, record)) return payload.size();
  h.OnGlobalSearchResult(from.address, from.port, record);
  h.OnGlobalSearchResultEnd(from.address, from.port);
  return stream.Position();
}

size_t OnFoundSources(Handler& h, Payload payload, const SUdpSender& from) {
  if (auto found = ParseFoundSources(payload))
    h.OnGlobalFoundSources(from.address, from.port, *found);
  return payload.size();
}

size_t OnServerList(Handler& h, Payload payload, const SUdpSender& from) {
  if (auto list = ParseServerList(payload)) h.OnServerList(from.address, from.port, *list);
  return payload.size();
}

size_t OnDescription(Handler& h, Payload payload, const SUdpSender& from) {
  if (auto description = ParseDescriptionAnswer(payload))
    h.OnServerDescription(from.address, from.port, *description);
  return payload.size();
}

struct SOpcodeEntry {
  uint8_t opcode;
  size_t (*handle)(Handler&, Payload, const SUdpSender&);
};

constexpr std::array kServerUdpTable{
    SOpcodeEntry{kOpGlobalStatusAnswer, OnStatusAnswer},
    SOpcodeEntry{kOpGlobalSearchResult, OnSearchResult},
    SOpcodeEntry{kOpGlobalFoundSources, OnFoundSources},
    SOpcodeEntry{kOpServerListAnswer, OnServerList},
    SOpcodeEntry{kOpDescriptionAnswer, OnDescription},
};

}  // namespace

size_t DispatchServerUdpPacket(Handler& handler, uint8_t opcode, Payload payload,
                               const SUdpSender& sender) {
  const auto entry = std::find_if(kServerUdpTable.begin(), kServerUdpTable.end(),
                                  [opcode](const SOpcodeEntry& e) { return e.opcode == opcode; });
  if (entry == kServerUdpTable.end()) return payload.size();
  return entry->handle(handler, payload, sender);
}

}  // namespace P2P::Protocol
