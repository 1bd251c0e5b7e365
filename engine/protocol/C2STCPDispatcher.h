// The server TCP session's two faces: the events a server's packets turn into, and the
// requests and queries the rest of the engine makes of the session. DispatchServerTcpPacket
// reads one packet's payload and calls the matching event, so the reading can be exercised
// on bytes alone. Events run on the session's socket thread; requests come from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/base/ClientConfig.h"
#include "engine/protocol/ServerMessages.h"
#include "engine/protocol/ServerRequests.h"

namespace P2P::Protocol {

class ITARNNetC2STCPEventDispatcher {
 public:
  virtual ~ITARNNetC2STCPEventDispatcher() = default;
  virtual void OnServerMessage(const std::string& text) = 0;
  virtual void OnIdChange(uint32_t id, uint32_t tcpFlags) = 0;
  // Called after each record of the answer went to OnSearchResult.
  virtual void OnSearchResultEnd(bool more) = 0;
  virtual void OnFoundSources(const SFoundSources& found) = 0;
  virtual void OnServerStatus(uint32_t users, uint32_t files) = 0;
  virtual void OnServerIdent(const SServerIdent& ident) = 0;
  virtual void OnServerList(const std::vector<SAddressPort>& list) = 0;
  virtual void OnCallbackRequested(uint32_t address, uint16_t port) = 0;
  virtual void OnCallbackFailed() {}
  virtual void OnReject() {}
  virtual void OnSearchResult(const SOfferRecord& record) = 0;
  // A packet of a known opcode whose payload its reader refused; the packet is dropped.
  virtual void OnRefused(uint8_t /*opcode*/, const SRefusal& /*refusal*/) {}
  // False once the session has ended: the rest of the received bytes is not read.
  virtual bool IsSessionOpen() const = 0;
};

class ITARNNetC2STCPDispatcher {
 public:
  virtual ~ITARNNetC2STCPDispatcher() = default;
  virtual uint32_t GetClientId() const = 0;
  virtual uint32_t GetPublicAddressOf() const = 0;
  virtual bool SendLogin(const _tagStructClientConfig& config) = 0;
  virtual bool SendGetServerList() = 0;
  virtual bool SendOfferFiles() = 0;
  virtual bool SendSearch(std::span<const uint8_t> searchBody) = 0;
  virtual bool SendGetSources(std::span<const SSourceRequestEntry> entries) = 0;
  virtual bool SendGetSources(const _tagUnionHash& hash, uint64_t size) = 0;
  virtual bool SendQueryMoreResults() = 0;
  virtual bool ServerFlagBit4() const = 0;
  virtual bool ServerSupportsCompactTags() const = 0;
  virtual bool ServerFlagBit0() const = 0;
  virtual bool ServerTakesLargeFiles() const = 0;
};

// Reads one server packet (protocol 0xE3, or 0xD4 once inflated) and calls its event. A
// payload too short or malformed for its opcode is dropped after OnRefused says why; unknown
// opcodes are ignored.
// Returns false when the session ended while handling it.
bool DispatchServerTcpPacket(ITARNNetC2STCPEventDispatcher& handler, uint8_t opcode,
                             uint8_t protocol, std::span<const uint8_t> payload);

}  // namespace P2P::Protocol
