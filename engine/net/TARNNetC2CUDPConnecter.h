// The engine's peer UDP endpoint on the peer UDP port: each datagram from another client is
// read by the peer UDP codec and handed to the event dispatcher its owner installed (none:
// parsed, no effect), which may answer through the send operations. Receive handlers run on
// the socket's own thread; sends from any thread; Create/Close from the connection manager.
#pragma once

#include <atomic>
#include <span>
#include <vector>

#include "engine/net/RefusalCounter.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/protocol/C2CUDPDispatcher.h"
#include "framework/EventSocketImpl.h"
#include "framework/NetworkEvents.h"

namespace P2P {

class CTARNNetC2CUDPConnecter
    : public OSTREL::Network::Socket::CEventSocketImpl<CTARNNetC2CUDPConnecter,
                                                       OSTREL::Network::Socket::kNoTimeout,
                                                       OSTREL::Network::Socket::CConnecterTraits>,
      public Protocol::ITARNNetC2CUDPDispatcher {
 public:
  ~CTARNNetC2CUDPConnecter() override { Close(true); }

  // Set before Create or while no datagram is handled; nullptr silences the events again.
  void SetEventDispatcher(Protocol::ITARNNetC2CUDPEventDispatcher* events) { events_ = events; }
  // Who answers file reask pings (rank, queue full, file not found); null: nobody.
  void SetUploadService(CTARNNetUploadService* service) { uploadService_ = service; }

  // One received datagram, as if it came from `sourceAddress`:`sourcePort`.
  void HandleDatagram(std::span<const uint8_t> datagram, uint32_t sourceAddress,
                      uint16_t sourcePort);

  // Peer datagrams that the codec refused, and why the last one was.
  uint32_t GetRefusalCount() const { return refusals_.Count(); }
  Protocol::SRefusal GetLastRefusal() const { return refusals_.Last(); }

  void OnReaskFilePing(const Protocol::SUdpSender& from, const _tagUnionHash& hash) override;
  void OnReaskAck(const Protocol::SUdpSender& from, uint16_t rank) override;
  void OnQueueFull(const Protocol::SUdpSender& from) override;
  void OnFileNotFound(const Protocol::SUdpSender& from) override;
  void OnPeerUdp94(const Protocol::SUdpSender& from) override;
  void OnPortTest(const Protocol::SUdpSender& from) override;

  bool SendReaskFilePing(uint32_t address, uint16_t port, const _tagUnionHash& hash) override;
  bool SendReaskAck(uint32_t address, uint16_t port, uint16_t rank) override;
  bool SendQueueFull(uint32_t address, uint16_t port) override;
  bool SendFileNotFound(uint32_t address, uint16_t port) override;
  bool SendPeerUdp94(uint32_t address, uint16_t port) override;
  bool SendPortTest(uint32_t address, uint16_t port) override;

 protected:
  void OnReceive(int error) override;

 private:
  // Each datagram is built in its own buffer, so senders on several threads never share one.
  bool SendDatagram(std::span<const uint8_t> datagram, uint32_t address, uint16_t port);

  std::atomic<Protocol::ITARNNetC2CUDPEventDispatcher*> events_{nullptr};
  std::atomic<CTARNNetUploadService*> uploadService_{nullptr};
  std::vector<uint8_t> receiveBuffer_;
  CRefusalCounter refusals_{"peer UDP"};
};

}  // namespace P2P
