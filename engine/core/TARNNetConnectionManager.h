// Keeps the engine connected: owns the server TCP and UDP sessions and the peer endpoints,
// binds the peer ports (moving up past ports in use), opens them in the firewall, follows
// the network medium, connects to a server and reconnects after a loss (the same server
// after a network-down or host-unreachable error, the next one otherwise), and drives the
// periodic work: a one-second timer on the main thread's message loop and a worker thread
// for reconnects and source sweeps. Start and Stop on the main thread; the events arrive on
// the session threads and the media thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/base/ClientConfig.h"
#include "engine/core/OfferCoalescer.h"
#include "engine/core/ReconnectBackoff.h"
#include "engine/net/ConnectionEvents.h"
#include "engine/net/ServerSessionHooks.h"
#include "engine/net/TARNNetC2CListener.h"
#include "engine/net/TARNNetC2CUDPConnecter.h"
#include "engine/net/TARNNetC2STCPConnecter.h"
#include "engine/net/TARNNetC2SUDPConnecter.h"
#include "engine/servers/ServerManager.h"
#include "framework/ElapsedTime.h"
#include "framework/Event.h"
#include "framework/Thread.h"
#include "platform/Firewall.h"
#include "platform/MediaEvents.h"

namespace P2P {

class CTARNNetConnectionManager : public OSTREL::Process::CThreadImpl<CTARNNetConnectionManager>,
                                  public ITARNNetP2PConnectionEventAdvisor,
                                  public OSTREL::Platform::IMediaEventSink {
 public:
  using ServerInfo = Remote::Server::_tagStructServerInfo;

  static constexpr uint32_t kEngineTimerPeriod = 1000;
  static constexpr uint32_t kSourceSweepInterval = 300000;
  // Downloads per TCP get-sources message.
  static constexpr size_t kTcpSourceGroupSize = 15;

  CTARNNetConnectionManager(_tagStructClientConfig& config, CTARNNetServerManager& servers);
  ~CTARNNetConnectionManager() override;

  // Before Start. Hooks default to empty (nothing offered, found sources dropped); the media
  // source defaults to rtnetlink; the firewall step can be left out (tests).
  void SetHooks(const Protocol::SServerSessionHooks& hooks);
  void SetMediaSource(std::unique_ptr<OSTREL::Platform::IMediaEventSource> source);
  void SetFirewallEnabled(bool enabled) { firewallEnabled_ = enabled; }
  // Before Start: the firewall to open the peer ports in (default: the host's; null: none).
  void SetFirewall(std::unique_ptr<OSTREL::Platform::IFirewall> firewall) {
    firewall_ = std::move(firewall);
  }

  bool Start() override;
  bool Stop() override;
  unsigned Run() override;

  // Signals a reconnect unless connected.
  void Reconnect();
  // Leaves the current server, if any, for `server`, without the pause after a failure.
  void ConnectTo(ServerInfo* server);
  void StartSourceSweep() { sourceSweep_.Set(); }
  // The shared files changed: offered again once the changes settle (see COfferCoalescer).
  void OfferFiles();
  uint32_t CoalescedOfferCount() const { return coalescedOffers_.load(); }

  // Advisor: the manager acts first, then fans the event out.
  void Connecting(const ServerInfo* server) override;
  void Connected(const ServerInfo* server) override;
  void Disconnected(const ServerInfo* server, int error) override;

  void OnMediaConnect() override;
  void OnMediaDisconnect() override;

  // The one-second engine timer (the message loop calls it; public for tests).
  void OnEngineTimer();

  CTARNNetC2STCPConnecter& GetServerTCPConnecter() { return serverTcp_; }
  CTARNNetC2SUDPConnecter& GetServerUDPConnecter() { return serverUdp_; }
  CTARNNetC2CListener& GetListener() { return listener_; }
  CTARNNetC2CUDPConnecter& GetPeerUDPConnecter() { return peerUdp_; }
  bool IsConnected() const { return connected_.load(); }
  // The id the current server gave us; 0 when not logged in.
  uint32_t ClientId() const { return serverTcp_.GetClientId(); }
  // Failed attempts since the last login.
  uint32_t FailedAttempts() const { return backoff_.Failures(); }
  bool IsNetworkAvailable() const { return networkAvailable_.load(); }
  uint32_t SourceSweepCount() const { return sweeps_.load(); }

 private:
  template <typename Socket>
  bool BindMovingUp(Socket& socket, uint16_t& port, int type, int protocol);
  void StartServerSessions();
  void DoReconnect();
  void RunSourceSweeps();
  void TcpSourceSweep(const std::vector<Protocol::SSourceRequestEntry>& downloads);
  uint32_t TicksUntilDelayedReconnect() const;
  uint32_t NextWakeUp() const;
  void OnWaitTimeout();

  _tagStructClientConfig& config_;
  CTARNNetServerManager& servers_;
  Protocol::SServerSessionHooks hooks_;
  CTARNNetC2STCPConnecter serverTcp_;
  CTARNNetC2SUDPConnecter serverUdp_;
  CTARNNetC2CListener listener_;
  CTARNNetC2CUDPConnecter peerUdp_;
  std::unique_ptr<OSTREL::Platform::IMediaEventSource> media_;
  std::unique_ptr<OSTREL::Platform::IFirewall> firewall_ =
      std::make_unique<OSTREL::Platform::CFirewall>();
  bool firewallEnabled_ = true;
  bool mediaSubscribed_ = false;
  std::atomic<bool> started_{false};

  OSTREL::Process::CEvent stop_;
  OSTREL::Process::CEvent reconnect_;
  OSTREL::Process::CEvent sourceSweep_;
  OSTREL::Process::CEvent offerFiles_;
  // Tells the worker that a delayed reconnect was scheduled.
  OSTREL::Process::CEvent rescheduled_;

  uint32_t timerId_ = 0;
  OSTREL::Process::CElapsedTimeT<0> sourceSweepTimer_;
  std::atomic<bool> connected_{false};
  std::atomic<bool> networkAvailable_{true};
  std::atomic<ServerInfo*> nextServer_{nullptr};
  // The server asked for by ConnectTo while a session was still open.
  std::atomic<ServerInfo*> chosenServer_{nullptr};
  std::atomic<bool> reconnectPending_{false};
  std::atomic<uint32_t> reconnectDue_{0};
  CReconnectBackoff backoff_;
  std::atomic<uint32_t> sweeps_{0};
  COfferCoalescer offers_;
  // The shared-file check as the root gave it; hooks_ holds it wrapped for the login.
  std::function<bool()> hasFilesToOffer_;
  // The coalescer's mark when the session last looked at the list for its login offer.
  std::atomic<uint64_t> loginOfferMark_{0};
  std::atomic<uint32_t> coalescedOffers_{0};
};

}  // namespace P2P
