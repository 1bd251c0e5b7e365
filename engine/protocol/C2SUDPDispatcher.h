// The server UDP socket's two faces: the events of servers' datagrams (each attributed to the
// sender's address and its port minus 4), and the requests the engine sends to any listed
// server. DispatchServerUdpPacket reads one packet of a datagram and calls its event, so the
// reading can be exercised on bytes alone. Events run on the socket's thread; requests come
// from the checker, the connection manager and the search manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/protocol/RecvUDPPacket.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/ServerRequests.h"

namespace P2P::Protocol {

class ITARNNetC2SUDPEventDispatcher {
 public:
  virtual ~ITARNNetC2SUDPEventDispatcher() = default;
  virtual void OnServerStatus(uint32_t address, uint16_t port,
                              const SServerStatusAnswer& status) = 0;
  virtual void OnGlobalSearchResultEnd(uint32_t /*address*/, uint16_t /*port*/) {}
  virtual void OnGlobalFoundSources(uint32_t address, uint16_t port,
                                    const SFoundSources& found) = 0;
  virtual void OnServerList(uint32_t address, uint16_t port,
                            const std::vector<SAddressPort>& list) = 0;
  virtual void OnServerDescription(uint32_t address, uint16_t port,
                                   const SServerDescription& description) = 0;
  virtual void OnGlobalSearchResult(uint32_t address, uint16_t port,
                                    const SOfferRecord& record) = 0;
  // A packet of a known opcode whose payload its reader refused; the rest of the datagram is
  // dropped.
  virtual void OnRefused(uint32_t /*address*/, uint16_t /*port*/, uint8_t /*opcode*/,
                         const SRefusal& /*refusal*/) {}
};

class ITARNNetC2SUDPDispatcher {
 public:
  virtual ~ITARNNetC2SUDPDispatcher() = default;
  virtual uint32_t GetPublicAddressOf() const = 0;
  virtual bool SendGlobalSearch3(uint32_t address, uint16_t port,
                                 std::span<const uint8_t> body) = 0;
  virtual bool SendStatusRequest(uint32_t address, uint16_t port) = 0;
  virtual bool SendGlobalSearch(uint32_t address, uint16_t port, std::span<const uint8_t> body) = 0;
  virtual bool SendGlobalGetSources(uint32_t address, uint16_t port,
                                    std::span<const SSourceRequestEntry> entries) = 0;
  virtual bool SendGlobalGetSources2(uint32_t address, uint16_t port,
                                     std::span<const SSourceRequestEntry> entries) = 0;
  virtual bool SendRequest9C(uint32_t address, uint16_t port) = 0;
  virtual bool SendServerListRequest(uint32_t address, uint16_t port) = 0;
  virtual bool SendDescriptionRequest(uint32_t address, uint16_t port) = 0;
  virtual bool SendServerListRequest2(uint32_t address, uint16_t port) = 0;
};

// Reads the packet that starts a datagram's `payload` (after protocol and opcode) from
// `sender` (its port already the server's TCP port) and calls its event. Returns the payload
// bytes the packet used: a search answer uses one record, so the next packet may follow;
// everything else uses the rest of the datagram. Malformed payloads are dropped.
size_t DispatchServerUdpPacket(ITARNNetC2SUDPEventDispatcher& handler, uint8_t opcode,
                               std::span<const uint8_t> payload, const SUdpSender& sender);

}  // namespace P2P::Protocol
