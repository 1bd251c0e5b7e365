// One TCP session with another eD2K client, over a connection it is given: the packet framing,
// the hello and info exchange that identifies both sides and their capabilities, secure
// identification, the small requests any peer may make (port test, public address, client id
// change), and the dispatch of every other packet to the session's download side or serving
// side. It is linked to one remote-client record; when it ends it sets the record's reask timer
// from the download state. Handlers run on the connection's thread, one at a time; the
// connection's owner calls End once, before it goes.
#pragma once

#include <cstdint>
#include <span>

#include "engine/net/PeerDownload.h"
#include "engine/net/PeerLink.h"
#include "engine/net/PeerServing.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/RefusalCounter.h"
#include "engine/peers/Client.h"

namespace P2P {

class CTARNNetPeerSession {
 public:
  CTARNNetPeerSession(CPeerSessionContext& context, ITARNNetPeerLink& link,
                      Client::CClientPtr client);

  // Frames and dispatches the received bytes; returns how many were used (the rest waits for
  // more). A framing error closes the connection.
  size_t Receive(std::span<const uint8_t> pending);
  // One packet; packed packets arrive here inflated, as extended ones. False once closed.
  bool Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload);

  // The connection we opened stands: hello when we called to download, and the public
  // address asked while it is unknown.
  void OnConnected();
  // The download wants the requested file again on the open connection.
  void RequestFileAgain();
  // The connection's send queue drained.
  void OnSendReady() { serving_.PumpUpload(); }
  // The connection failed or the remote side closed it: the client's upload slot or queue
  // place is given up at once, before the session goes.
  void OnConnectionLost() { serving_.End(); }
  // Both sides end, the client record is unlinked and told when to be asked again, and a
  // client with nothing to come back for leaves the client list.
  void End();

  const Client::CClientPtr& GetClient() const { return client_; }
  // Packets of this peer that a reader refused, and why the last one was.
  uint32_t GetRefusalCount() const { return refusals_.Count(); }
  Protocol::SRefusal GetLastRefusal() const { return refusals_.Last(); }
  CTARNNetPeerDownload& Download() { return download_; }
  CTARNNetPeerServing& Serving() { return serving_; }

 private:
  bool OnHello(std::span<const uint8_t> payload, bool answer);
  void OnInfo(std::span<const uint8_t> payload, bool answer);
  void OnClientIdChange(std::span<const uint8_t> payload);
  void OnEndOfDownload(std::span<const uint8_t> payload);
  void OnPublicIpAnswer(std::span<const uint8_t> payload);
  // Queue ranks in either form: the u32 one with its top bit cleared, or the u16 one.
  void OnQueueRank(uint8_t opcode, std::span<const uint8_t> payload, bool wide);
  // Waiting in the remote client's queue, it is asked again by UDP pings rather than by
  // reconnecting, when it speaks UDP, is reachable at its address and has answered before.
  bool CanReaskByUdp() const;
  // A client whose queue we wait in calls us for our turn: the connection takes over our
  // source record, so that the grant it sends finds the file we want.
  void TakeCallingSource(const _tagUnionHash& user);
  // After a hello or info: opens secure identification once per connection when due.
  void StartSecureIdentification();
  void OnSecureIdentPacket(uint8_t opcode, std::span<const uint8_t> payload);
  Credit::SSecureIdentContext SecureIdentContext() const;

  CPeerSessionContext& context_;
  ITARNNetPeerLink& link_;
  Client::CClientPtr client_;
  CRefusalCounter refusals_{"peer TCP"};
  bool secureIdentSent_ = false;
  CTARNNetPeerDownload download_;
  CTARNNetPeerServing serving_;
};

}  // namespace P2P
