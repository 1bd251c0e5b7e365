#include "engine/core/TARNNetConnectionManager.h"

#include <sys/socket.h>

#include <algorithm>

#include "framework/Log.h"
#include "framework/MessageLoop.h"
#include "framework/SocketError.h"
#include "framework/TickSource.h"

namespace P2P {

using namespace OSTREL::Network::Socket;
using OSTREL::Process::CEvent;
using OSTREL::Process::CMessageLoop;
using OSTREL::Process::CTickSource;
using Protocol::SSourceRequestEntry;

CTARNNetConnectionManager::CTARNNetConnectionManager(_tagStructClientConfig& config,
                                                     CTARNNetServerManager& servers)
    : config_(config),
      servers_(servers),
      serverTcp_(config, servers, *this, hooks_),
      serverUdp_(servers, hooks_, [this] { return serverTcp_.GetPublicAddress(); }),
      media_(std::make_unique<OSTREL::Platform::CNetlinkMediaEvents>()) {}

CTARNNetConnectionManager::~CTARNNetConnectionManager() { Stop(); }

void CTARNNetConnectionManager::SetMediaSource(
    std::unique_ptr<OSTREL::Platform::IMediaEventSource> source) {
  media_ = std::move(source);
}

template <typename Socket>
bool CTARNNetConnectionManager::BindMovingUp(Socket& socket, uint16_t& port, int type,
                                             int protocol) {
  // A port in use gives way to the next one up; the port that worked is kept in the
  // configuration and saved with it.
  for (uint32_t tries = 0; tries < 0x10000; ++tries) {
    if (port != 0 && socket.Create(port, type, protocol, AF_INET)) return true;
    port = static_cast<uint16_t>(port + 1);
  }
  return false;
}

bool CTARNNetConnectionManager::Start() {
  if (started_.exchange(true)) return true;
  stop_.ResetEvent();
  if (!CThreadImpl::Start()) return false;

  if (media_) mediaSubscribed_ = media_->Subscribe(*this);

  if (!BindMovingUp(peerUdp_, config_.udpPort, SOCK_DGRAM, IPPROTO_UDP))
    OSTREL::LogWarning("no UDP port could be bound for peers");
  if (BindMovingUp(listener_, config_.tcpPort, SOCK_STREAM, 0))
    listener_.Listen(5);
  else
    OSTREL::LogWarning("no TCP port could be bound for peers");
  if (firewallEnabled_ && firewall_) firewall_->OpenPortsAsync(config_.tcpPort, config_.udpPort);

  StartServerSessions();

  sourceSweepTimer_.SetDuration(0);
  sourceSweepTimer_.Reset();
  if (CMessageLoop* loop = CMessageLoop::Current())
    timerId_ = loop->SetTimer(0, kEngineTimerPeriod, [this](uint32_t) { OnEngineTimer(); });
  return true;
}

void CTARNNetConnectionManager::StartServerSessions() {
  servers_.SetServerListRequest(
      [this](uint32_t address, uint16_t port) { serverUdp_.SendServerListRequest(address, port); });
  servers_.SetCheckerWake([this] { serverUdp_.WakeServerChecker(); });

  const bool udpOpen = serverUdp_.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET);
  if (udpOpen) serverUdp_.StartChecker();
  // An empty list takes the default server before anything is asked of it: answers from
  // servers not listed are dropped, and a loopback answer can beat the next statement.
  ServerInfo* server = servers_.GetNextServer();
  const bool noServers = server == nullptr;
  if (noServers) server = servers_.GetFirstServer();
  if (udpOpen && noServers) serverUdp_.SendServerListRequest2(config_.serverIp, config_.serverPort);
  if (serverTcp_.Create(0, SOCK_STREAM, 0, AF_INET) && serverTcp_.IsThreadRunning() &&
      server != nullptr)
    serverTcp_.Connect(server);
}

bool CTARNNetConnectionManager::Stop() {
  if (!started_.exchange(false)) return true;
  if (timerId_ != 0) {
    if (CMessageLoop* loop = CMessageLoop::Current()) loop->KillTimer(timerId_);
    timerId_ = 0;
  }
  if (media_ && mediaSubscribed_) media_->Cancel();
  mediaSubscribed_ = false;
  RequestStop();
  stop_.Set();
  CThreadImpl::Stop();
  listener_.Close(true);
  peerUdp_.Close(true);
  serverTcp_.Close(true);
  serverUdp_.Stop();
  servers_.SetServerListRequest(nullptr);
  servers_.SetCheckerWake(nullptr);
  if (firewall_) firewall_->Wait();
  return true;
}

unsigned CTARNNetConnectionManager::Run() {
  while (!IsStopping()) {
    const int signalled = OSTREL::Process::WaitForEvents(
        {&stop_, &reconnect_, &sourceSweep_, &offerFiles_, &rescheduled_}, NextWakeUp());
    if (IsStopping()) break;
    switch (signalled) {
      case 0:
        return 0;
      case 1:
        DoReconnect();
        break;
      case 2:
        RunSourceSweeps();
        break;
      case 3:  // a change to offer: the wait below now covers its time
      case 4:  // a new delay to wait for
        break;
      case OSTREL::Process::kWaitTimeout:
        OnWaitTimeout();
        break;
      default:
        return 1;
    }
  }
  return 0;
}

uint32_t CTARNNetConnectionManager::TicksUntilDelayedReconnect() const {
  if (!reconnectPending_.load()) return OSTREL::Process::kInfinite;
  const int32_t left = static_cast<int32_t>(reconnectDue_.load() - CTickSource::Now());
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

uint32_t CTARNNetConnectionManager::NextWakeUp() const {
  return std::min(TicksUntilDelayedReconnect(), offers_.TicksUntilDue());
}

void CTARNNetConnectionManager::SetHooks(const Protocol::SServerSessionHooks& hooks) {
  hooks_ = hooks;
  hasFilesToOffer_ = hooks.hasFilesToOffer;
  // The login looks at the list before it offers it; a file announced after that look is
  // not in the login offer and must stay pending.
  if (hasFilesToOffer_)
    hooks_.hasFilesToOffer = [this] {
      loginOfferMark_.store(offers_.Changes());
      return hasFilesToOffer_();
    };
}

void CTARNNetConnectionManager::OnWaitTimeout() {
  if (offers_.IsDue()) {
    const uint64_t mark = offers_.Changes();
    if (connected_.load() && hasFilesToOffer_ && hasFilesToOffer_()) {
      serverTcp_.SendOfferFiles();
      offers_.NoteOffered(mark);
      coalescedOffers_.fetch_add(1);
    } else {
      offers_.Forget();  // the next login offers the whole list
    }
  }
  // The pause after a disconnection is over; while the medium is down the media-connect
  // event reconnects instead.
  if (reconnectPending_.load() && TicksUntilDelayedReconnect() == 0) {
    reconnectPending_.store(false);
    if (networkAvailable_.load()) Reconnect();
  }
}

void CTARNNetConnectionManager::OfferFiles() {
  offers_.NoteChange();
  offerFiles_.Set();
}

void CTARNNetConnectionManager::Reconnect() {
  if (!connected_.load()) reconnect_.Set();
}

void CTARNNetConnectionManager::ConnectTo(ServerInfo* server) {
  if (server == nullptr) return;
  if (connected_.load() && serverTcp_.GetCurrentServer() == server) return;
  if (serverTcp_.IsSessionOpen()) {
    chosenServer_.store(server);
    serverTcp_.Hangup();  // the disconnection goes on to the chosen server
    return;
  }
  nextServer_.store(server);
  reconnectPending_.store(false);
  reconnect_.Set();
}

void CTARNNetConnectionManager::DoReconnect() {
  if (IsStopping() || connected_.load()) return;
  ServerInfo* server = nextServer_.load();
  if (server == nullptr) return;
  if (serverTcp_.Create(0, SOCK_STREAM, 0, AF_INET) && serverTcp_.IsThreadRunning())
    serverTcp_.Connect(server);
}

void CTARNNetConnectionManager::RunSourceSweeps() {
  sweeps_.fetch_add(1);
  if (!hooks_.downloadsNeedingSources) return;
  const std::vector<SSourceRequestEntry> downloads = hooks_.downloadsNeedingSources();
  if (downloads.empty()) return;
  TcpSourceSweep(downloads);
  serverUdp_.SendGlobalSources(downloads, serverTcp_.GetCurrentServer(), &stop_);
}

void CTARNNetConnectionManager::TcpSourceSweep(const std::vector<SSourceRequestEntry>& downloads) {
  if (!serverTcp_.IsConnected()) return;
  for (size_t first = 0; first < downloads.size(); first += kTcpSourceGroupSize) {
    const size_t count = std::min(kTcpSourceGroupSize, downloads.size() - first);
    serverTcp_.SendGetSources(std::span(downloads).subspan(first, count));
  }
}

void CTARNNetConnectionManager::Connecting(const ServerInfo* server) {
  FanOut(&ITARNNetP2PConnectionEventHandler::OnConnecting, server);
}

void CTARNNetConnectionManager::Connected(const ServerInfo* server) {
  connected_.store(true);
  if (const uint32_t failures = backoff_.NoteSuccess(); failures > 0)
    OSTREL::LogInfo("server reached again after ", failures, " failed attempts");
  // The login offered the whole list as it stood when it looked, earlier changes included.
  // It does not count against the spacing: files hashed just after a start are offered once
  // they settle.
  offers_.ForgetUpTo(loginOfferMark_.load());
  StartSourceSweep();
  FanOut(&ITARNNetP2PConnectionEventHandler::OnConnected, server);
}

void CTARNNetConnectionManager::Disconnected(const ServerInfo* server, int error) {
  const bool wasLoggedIn = connected_.exchange(false);
  // One line when the state changes, none per attempt: a dead server is retried for hours.
  uint32_t delay = 0;
  if (wasLoggedIn) {
    delay = backoff_.NoteLoss();
    OSTREL::LogInfo("server connection lost (error ", error, "); reconnecting");
  } else {
    delay = backoff_.NoteFailure();
    if (backoff_.Failures() == 2)
      OSTREL::LogWarning("no server reachable; retrying with pauses growing to ",
                         CReconnectBackoff::kMaxDelay / 1000, " s");
  }
  FanOut(&ITARNNetP2PConnectionEventHandler::OnDisconnected, server, error);
  // A network that is down or a host out of reach says nothing against the server itself.
  const bool retrySame = error == kWsaENetDown || error == kWsaEHostUnreach;
  nextServer_.store(retrySame ? servers_.GetCurrentServer() : servers_.GetNextOrFirstServer());
  if (ServerInfo* chosen = chosenServer_.exchange(nullptr)) {
    nextServer_.store(chosen);
    delay = 0;
  }
  // The pause is the worker's, so this socket thread is free and a stop is never held up.
  reconnectDue_.store(CTickSource::Now() + delay);
  reconnectPending_.store(true);
  rescheduled_.Set();
}

void CTARNNetConnectionManager::OnMediaConnect() {
  networkAvailable_.store(true);
  Reconnect();
}

void CTARNNetConnectionManager::OnMediaDisconnect() { networkAvailable_.store(false); }

void CTARNNetConnectionManager::OnEngineTimer() {
  if (sourceSweepTimer_.IsElapsed()) {
    StartSourceSweep();
    sourceSweepTimer_.SetDuration(kSourceSweepInterval);
    sourceSweepTimer_.Reset();
  }
  if (hooks_.periodicTick) hooks_.periodicTick();
}

}  // namespace P2P
