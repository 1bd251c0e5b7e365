#include "engine/protocol/C2SUDPDispatcher.h"

#include <algorithm>
#include <array>

namespace P2P::Protocol {
namespace {

using Handler = ITARNNetC2SUDPEventDispatcher;
using Payload = std::span<const uint8_t>;

size_t OnStatusAnswer(Handler& h, Payload payload, const SUdpSender& from, SRefusal& refusal) {
  // A shorter answer does not carry what the statistics need: it changes nothing.
  if (auto status = ParseStatusAnswer(payload, &refusal))
    h.OnServerStatus(from.address, from.port, *status);
  return payload.size();
}

size_t OnSearchResult(Handler& h, Payload payload, const SUdpSender& from, SRefusal& refusal) {
  CStreamReader stream(payload);
  SOfferRecord record;
  if (!ReadOfferRecord(stream, record)) {
    refusal = stream.Refusal();
    return payload.size();
  }
  h.OnGlobalSearchResult(from.address, from.port, record);
  h.OnGlobalSearchResultEnd(from.address, from.port);
  return stream.Position();
}

size_t OnFoundSources(Handler& h, Payload payload, const SUdpSender& from, SRefusal& refusal) {
  if (auto found = ParseFoundSources(payload, &refusal))
    h.OnGlobalFoundSources(from.address, from.port, *found);
  return payload.size();
}

size_t OnServerList(Handler& h, Payload payload, const SUdpSender& from, SRefusal& refusal) {
  if (auto list = ParseServerList(payload, &refusal))
    h.OnServerList(from.address, from.port, *list);
  return payload.size();
}

size_t OnDescription(Handler& h, Payload payload, const SUdpSender& from, SRefusal& refusal) {
  if (auto description = ParseDescriptionAnswer(payload, &refusal))
    h.OnServerDescription(from.address, from.port, *description);
  return payload.size();
}

struct SOpcodeEntry {
  uint8_t opcode;
  size_t (*handle)(Handler&, Payload, const SUdpSender&, SRefusal&);
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
  SRefusal refusal;
  const size_t used = entry->handle(handler, payload, sender, refusal);
  if (refusal) handler.OnRefused(sender.address, sender.port, opcode, refusal);
  return used;
}

}  // namespace P2P::Protocol
