// The engine's UDP socket toward index servers: status and description queries, server-list
// requests, global source requests and global searches to any listed server (at its TCP port
// plus 4), and the answers turned into server-list updates and hook calls. Its nested checker
// thread queries every server not checked in the last 30 minutes, every 5 minutes. Handlers
// run on the socket's thread; the send operations may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "engine/net/RefusalCounter.h"
#include "engine/net/ServerSessionHooks.h"
#include "engine/protocol/C2SUDPDispatcher.h"
#include "engine/servers/ServerManager.h"
#include "framework/Event.h"
#include "framework/EventSocketImpl.h"
#include "framework/NetworkEvents.h"

namespace P2P {

class CTARNNetC2SUDPConnecter
    : public OSTREL::Network::Socket::CEventSocketImpl<CTARNNetC2SUDPConnecter,
                                                       OSTREL::Network::Socket::kNoTimeout,
                                                       OSTREL::Network::Socket::CConnecterTraits>,
      public Protocol::ITARNNetC2SUDPEventDispatcher,
      public Protocol::ITARNNetC2SUDPDispatcher {
 public:
  class CServerChecker;
  using ServerInfo = Remote::Server::_tagStructServerInfo;

  // Global source requests go out in groups of this many downloads.
  static constexpr size_t kSourceGroupSize = 35;
  // Pause between two servers of a global sweep.
  static constexpr uint32_t kServerPause = 10;

  // `publicAddress`: the engine's public address as the server session knows it (0 while
  // unknown); empty: always unknown.
  CTARNNetC2SUDPConnecter(CTARNNetServerManager& servers,
                          const Protocol::SServerSessionHooks& hooks,
                          std::function<uint32_t()> publicAddress = {});
  ~CTARNNetC2SUDPConnecter() override;

  // After Create(0, SOCK_DGRAM, IPPROTO_UDP): starts the server checker.
  bool StartChecker();
  // Stops the checker, then closes the socket.
  void Stop();
  void WakeServerChecker();
  // Checker passes completed so far (0 without a checker).
  uint32_t CheckerPasses() const;

  // The global source sweep: every listed server but `current`, groups of 35, 0x94 or 0x9A by
  // the server's UDP flags, kServerPause between servers; large files only to servers whose
  // UDP flags take them. Ends early when `stop` is set.
  void SendGlobalSources(std::span<const Protocol::SSourceRequestEntry> downloads,
                         const ServerInfo* current, OSTREL::Process::CEvent* stop = nullptr);

  // Requests.
  uint32_t GetPublicAddressOf() const override;
  bool SendGlobalSearch3(uint32_t address, uint16_t port, std::span<const uint8_t> body) override;
  bool SendStatusRequest(uint32_t address, uint16_t port) override;
  bool SendGlobalSearch(uint32_t address, uint16_t port, std::span<const uint8_t> body) override;
  bool SendGlobalGetSources(uint32_t address, uint16_t port,
                            std::span<const Protocol::SSourceRequestEntry> entries) override;
  bool SendGlobalGetSources2(uint32_t address, uint16_t port,
                             std::span<const Protocol::SSourceRequestEntry> entries) override;
  bool SendRequest9C(uint32_t address, uint16_t port) override;
  bool SendServerListRequest(uint32_t address, uint16_t port) override;
  bool SendDescriptionRequest(uint32_t address, uint16_t port) override;
  bool SendServerListRequest2(uint32_t address, uint16_t port) override;

  // Events of the servers' datagrams; `port` is the sender's TCP port (source port - 4).
  void OnServerStatus(uint32_t address, uint16_t port,
                      const Protocol::SServerStatusAnswer& status) override;
  void OnGlobalFoundSources(uint32_t address, uint16_t port,
                            const Protocol::SFoundSources& found) override;
  void OnServerList(uint32_t address, uint16_t port,
                    const std::vector<Protocol::SAddressPort>& list) override;
  void OnServerDescription(uint32_t address, uint16_t port,
                           const Protocol::SServerDescription& description) override;
  void OnGlobalSearchResult(uint32_t address, uint16_t port,
                            const Protocol::SOfferRecord& record) override;
  void OnRefused(uint32_t address, uint16_t port, uint8_t opcode,
                 const Protocol::SRefusal& refusal) override;

  // Server datagrams that a reader refused, and why the last one was.
  uint32_t GetRefusalCount() const { return refusals_.Count(); }
  Protocol::SRefusal GetLastRefusal() const { return refusals_.Last(); }

  // One received datagram, as if it came from `sourceAddress`:`sourcePort`.
  void HandleDatagram(std::span<const uint8_t> datagram, uint32_t sourceAddress,
                      uint16_t sourcePort);
  // The packet reader's entry (see CTARNNetRecvUDPPacket).
  size_t Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload,
                  const Protocol::SUdpSender& sender);

 protected:
  void OnReceive(int error) override;

 private:
  std::vector<ServerInfo*> ServersExcept(const ServerInfo* current) const;
  // False when `stop` was signalled during the pause.
  static bool PauseBetweenServers(OSTREL::Process::CEvent* stop);
  bool SendDatagram(const std::optional<std::vector<uint8_t>>& datagram, uint32_t address,
                    uint16_t port);

  CTARNNetServerManager& servers_;
  const Protocol::SServerSessionHooks& hooks_;
  std::function<uint32_t()> publicAddress_;
  std::unique_ptr<CServerChecker> checker_;
  std::vector<uint8_t> receiveBuffer_;
  CRefusalCounter refusals_{"server UDP"};
};

}  // namespace P2P
