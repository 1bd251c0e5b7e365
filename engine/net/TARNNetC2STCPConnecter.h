// The engine's one TCP session with an index server: connects to the server the connection
// manager picks, logs in, takes the client id, offers files, asks for the server list and
// sources, carries searches, and turns the server's messages into updates of the
// configuration, the server list and the hooks. It never reconnects by itself: it reports
// connecting, connected and disconnected to its advisor. Handlers run on the socket's own
// thread; Connect and the send operations may be called from any other thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/net/ConnectionEvents.h"
#include "engine/net/RefusalCounter.h"
#include "engine/net/ServerSessionHooks.h"
#include "engine/protocol/C2STCPDispatcher.h"
#include "engine/servers/ServerManager.h"
#include "framework/EventSocketImpl.h"
#include "framework/NetworkEvents.h"

namespace P2P {

class CTARNNetC2STCPConnecter
    : public OSTREL::Network::Socket::CEventSocketImpl<CTARNNetC2STCPConnecter,
                                                       OSTREL::Network::Socket::kNoTimeout,
                                                       OSTREL::Network::Socket::CConnecterTraits>,
      public Protocol::ITARNNetC2STCPEventDispatcher,
      public Protocol::ITARNNetC2STCPDispatcher {
 public:
  using ServerInfo = Remote::Server::_tagStructServerInfo;

  CTARNNetC2STCPConnecter(_tagStructClientConfig& config, CTARNNetServerManager& servers,
                          ITARNNetP2PConnectionEventAdvisor& advisor,
                          const Protocol::SServerSessionHooks& hooks);
  ~CTARNNetC2STCPConnecter() override;

  // The socket must have been created (Create(0, SOCK_STREAM)) beforehand. A connect that
  // fails at once ends like any other failure, through the disconnected event.
  bool Connect(ServerInfo* server);
  ServerInfo* GetCurrentServer() const { return current_.load(); }
  // Logged in: the server gave us an id and the connection stands.
  bool IsConnected() const;
  // Ends the session (or the attempt) at once; the disconnected event follows as for any end.
  void Hangup() { EndSession(0); }

  // The engine's public address, set from a high id; 0 until then. It outlives the session:
  // a low id at the next login leaves the last one known.
  uint32_t GetPublicAddress() const { return publicAddress_.load(); }

  // Requests and queries.
  uint32_t GetClientId() const override;
  uint32_t GetPublicAddressOf() const override { return GetPublicAddress(); }
  bool SendLogin(const _tagStructClientConfig& config) override;
  bool SendGetServerList() override;
  bool SendOfferFiles() override;
  bool SendSearch(std::span<const uint8_t> searchBody) override;
  // Entries of large files are left out unless the server takes large files.
  bool SendGetSources(std::span<const Protocol::SSourceRequestEntry> entries) override;
  bool SendGetSources(const _tagUnionHash& hash, uint64_t size) override;
  bool SendQueryMoreResults() override;
  bool ServerFlagBit4() const override { return (ServerTcpFlags() & 0x10) != 0; }
  bool ServerSupportsCompactTags() const override { return (ServerTcpFlags() & 0x08) != 0; }
  bool ServerFlagBit0() const override { return (ServerTcpFlags() & 0x01) != 0; }
  bool ServerTakesLargeFiles() const override {
    return (ServerTcpFlags() & Protocol::kServerFlagLargeFiles) != 0;
  }

  // Events of the server's packets.
  void OnServerMessage(const std::string& text) override;
  void OnIdChange(uint32_t id, uint32_t tcpFlags) override;
  void OnSearchResultEnd(bool more) override;
  void OnFoundSources(const Protocol::SFoundSources& found) override;
  void OnServerStatus(uint32_t users, uint32_t files) override;
  void OnServerIdent(const Protocol::SServerIdent& ident) override;
  void OnServerList(const std::vector<Protocol::SAddressPort>& list) override;
  void OnCallbackRequested(uint32_t address, uint16_t port) override;
  void OnSearchResult(const Protocol::SOfferRecord& record) override;
  void OnRefused(uint8_t opcode, const Protocol::SRefusal& refusal) override;
  bool IsSessionOpen() const override { return sessionOpen_.load(); }

  // Packets of this session's server that a reader refused, and why the last one was.
  uint32_t GetRefusalCount() const { return refusals_.Count(); }
  Protocol::SRefusal GetLastRefusal() const { return refusals_.Last(); }

  // The packet reader's entry (see CTARNNetRecvTCPPacket).
  bool Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload);

 protected:
  void OnConnect(int error) override;
  void OnClose(int error) override;
  void OnError(int error) override;
  size_t OnReceiveData(std::span<const uint8_t> pending) override;

 private:
  uint32_t ServerTcpFlags() const;
  bool SendPacket(const std::optional<std::vector<uint8_t>>& packet);
  // Closes hard, clears the id and reports the end once per session.
  void EndSession(int error);

  _tagStructClientConfig& config_;
  CTARNNetServerManager& servers_;
  ITARNNetP2PConnectionEventAdvisor& advisor_;
  const Protocol::SServerSessionHooks& hooks_;
  std::atomic<ServerInfo*> current_{nullptr};
  std::atomic<bool> sessionOpen_{false};
  std::atomic<bool> loggedIn_{false};
  CRefusalCounter refusals_{"server TCP"};

  std::atomic<uint32_t> publicAddress_{0};
};

}  // namespace P2P
