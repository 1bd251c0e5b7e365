// The UDP side of waiting in other clients' queues: it sends the file reask pings that the
// client list's reask pass asks for, to the UDP port a client's hello named, and hands the
// answers that arrive on the peer UDP endpoint (rank, queue full, file not found) back to the
// client list. The engine root builds one over its peer UDP endpoint and client list and
// attaches it before peer sessions start. Pings go out on the timer thread, answers come on the
// endpoint's thread; the endpoint and the list are thread-safe.
#pragma once

#include "engine/net/TARNNetC2CUDPConnecter.h"
#include "engine/peers/ClientList.h"
#include "engine/protocol/C2CUDPDispatcher.h"

namespace P2P {

class CTARNNetUdpReasker : public Protocol::ITARNNetC2CUDPEventDispatcher {
 public:
  CTARNNetUdpReasker(CTARNNetC2CUDPConnecter& udp, Client::CTARNNetClientList& clients)
      : udp_(udp), clients_(clients) {}
  ~CTARNNetUdpReasker() override { Detach(); }
  CTARNNetUdpReasker(const CTARNNetUdpReasker&) = delete;
  CTARNNetUdpReasker& operator=(const CTARNNetUdpReasker&) = delete;

  // Becomes the endpoint's event dispatcher and the list's ping hook; Detach undoes both.
  void Attach();
  void Detach();

  // One ping for the client's requested file; false when it cannot go out.
  bool Ping(const Client::CClientPtr& client);

  void OnReaskAck(Protocol::ITARNNetC2CUDPDispatcher& udp, const Protocol::SUdpSender& from,
                  uint16_t rank) override;
  void OnQueueFull(Protocol::ITARNNetC2CUDPDispatcher& udp,
                   const Protocol::SUdpSender& from) override;
  void OnFileNotFound(Protocol::ITARNNetC2CUDPDispatcher& udp,
                      const Protocol::SUdpSender& from) override;

 private:
  CTARNNetC2CUDPConnecter& udp_;
  Client::CTARNNetClientList& clients_;
};

}  // namespace P2P
