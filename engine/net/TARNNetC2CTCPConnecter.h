// One TCP session with another eD2K client, driven by the peer multiplexer: the hello and
// info exchange that identifies both sides, and the small requests any peer may make (port
// test, public address, queue rank). It is linked to one remote-client record while open.
// Handlers run on the multiplexer's wait thread, one at a time; CloseSession from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "engine/base/ClientConfig.h"
#include "engine/files/Client.h"
#include "engine/files/ClientList.h"
#include "engine/net/RefusalCounter.h"
#include "framework/ManagedObject.h"

namespace P2P {

class CTARNNetC2CTCPConnecterT
    : public OSTREL::Network::Socket::CManagedObjectT<CTARNNetC2CTCPConnecterT, 30000>,
      public Client::ITARNNetClientSession {
 public:
  // The idle limit while we wait in the remote client's queue.
  static constexpr uint32_t kQueuedIdleTimeout = 120000;

  // `clients` (may be null): the list a client that only asked of us leaves when the session ends.
  CTARNNetC2CTCPConnecterT(const _tagStructClientConfig& own, Client::CClientPtr client,
                           Client::CTARNNetClientList* clients = nullptr);
  ~CTARNNetC2CTCPConnecterT() override;
  void OnFinalRelease() override { delete this; }

  // Adopts a socket accepted by the listener; the remote side speaks first.
  bool AttachAccepted(int fd);

  void CloseSession() override { Close(true); }
  void RequestFileAgain() override {}

  const Client::CClientPtr& GetClient() const { return client_; }
  // The engine's address as peers report it; 0 while unknown. Process-wide.
  static uint32_t GetPublicAddress() { return publicAddress_.load(); }
  static void ResetPublicAddress() { publicAddress_.store(0); }

  // Packets of this peer that a reader refused, and why the last one was.
  uint32_t GetRefusalCount() const { return refusals_.Count(); }
  Protocol::SRefusal GetLastRefusal() const { return refusals_.Last(); }

  // The packet reader's entry; packed packets are dispatched as extended ones.
  bool Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload);

 protected:
  size_t OnReceiveData(std::span<const uint8_t> pending) override;
  void OnClose(int error) override;
  void OnError(int error) override;

 private:
  bool DispatchEd2k(uint8_t opcode, std::span<const uint8_t> payload);
  bool DispatchExtended(uint8_t opcode, std::span<const uint8_t> payload);
  void OnHello(std::span<const uint8_t> payload, bool answer);
  void OnInfo(std::span<const uint8_t> payload, bool answer);
  bool SendPacket(uint8_t protocol, uint8_t opcode, std::span<const uint8_t> payload = {});

  const _tagStructClientConfig& own_;
  Client::CClientPtr client_;
  Client::CTARNNetClientList* clients_;
  uint32_t remoteAddress_ = 0;  // network byte order, as seen on this connection
  CRefusalCounter refusals_{"peer TCP"};

  static inline std::atomic<uint32_t> publicAddress_{0};
};

}  // namespace P2P
