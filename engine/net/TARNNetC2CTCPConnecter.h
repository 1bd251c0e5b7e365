// The socket of one peer TCP session, driven by the peer multiplexer: it connects to a remote
// client or adopts an accepted connection, hands the bytes it receives to its session
// (CTARNNetPeerSession, which holds the protocol) and is the connection that session sends on.
// It is linked to one remote-client record while open, and ends its session when its last
// reference goes. Handlers run on the multiplexer's wait thread, one at a time; CloseSession
// and ConnectTo from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "engine/net/PeerLink.h"
#include "engine/net/PeerSession.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/peers/Client.h"
#include "framework/ManagedObject.h"

namespace P2P {

class CTARNNetC2CTCPConnecterT
    : public OSTREL::Network::Socket::CManagedObjectT<CTARNNetC2CTCPConnecterT, 30000>,
      public Client::ITARNNetClientSession {
 public:
  // `context` outlives the session.
  CTARNNetC2CTCPConnecterT(CPeerSessionContext& context, Client::CClientPtr client);
  ~CTARNNetC2CTCPConnecterT() override;
  void OnFinalRelease() override { delete this; }

  // Adopts a socket accepted by the listener; the remote side speaks first.
  bool AttachAccepted(int fd);
  // Links the client, connects to its address and port and joins `manager`: for downloading
  // (hello once connected) or as an upload call-back (the remote side speaks first).
  bool ConnectTo(CTARNNetC2CManager& manager, bool uploadCallback);

  void CloseSession() override { Close(true); }
  void RequestFileAgain() override { session_.RequestFileAgain(); }

  const Client::CClientPtr& GetClient() const { return session_.GetClient(); }
  // Packets of this peer that a reader refused, and why the last one was.
  uint32_t GetRefusalCount() const { return session_.GetRefusalCount(); }
  Protocol::SRefusal GetLastRefusal() const { return session_.GetLastRefusal(); }
  CTARNNetPeerSession& Session() { return session_; }

 protected:
  size_t OnReceiveData(std::span<const uint8_t> pending) override;
  void OnConnect(int error) override;
  void OnSend(int error) override;
  void OnClose(int error) override;
  void OnError(int error) override;

 private:
  // The socket as its session's connection.
  class CLink final : public ITARNNetPeerLink {
   public:
    explicit CLink(CTARNNetC2CTCPConnecterT& socket) : socket_(socket) {}
    bool IsOpen() const override { return socket_.IsOpen(); }
    uint32_t RemoteAddress() const override { return socket_.remoteAddress_.load(); }
    bool Send(std::span<const uint8_t> bytes) override { return socket_.Send(bytes); }
    size_t QueuedSendBytes() const override { return socket_.QueuedSendBytes(); }
    void Close() override { socket_.Close(true); }
    void PauseReceiving(bool paused) override { socket_.PauseReceiving(paused); }
    void SetIdleLimit(uint32_t milliseconds) override;
    bool Hold() override { return socket_.TryAddRef(); }
    void Unhold() override { socket_.Release(); }

   private:
    CTARNNetC2CTCPConnecterT& socket_;
  };

  std::atomic<uint32_t> remoteAddress_{0};  // network byte order, as seen on this connection
  CLink link_{*this};
  CTARNNetPeerSession session_;
};

}  // namespace P2P
