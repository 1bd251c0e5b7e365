// The peer UDP socket on the configured UDP port: bound, and every datagram is dropped until
// the peer UDP protocol is there. Handlers run on the socket's own thread; Create/Close from
// the connection manager's thread.
#pragma once

#include "framework/EventSocketImpl.h"
#include "framework/NetworkEvents.h"

namespace P2P {

class CTARNNetC2CUDPConnecter
    : public OSTREL::Network::Socket::CEventSocketImpl<CTARNNetC2CUDPConnecter,
                                                       OSTREL::Network::Socket::kNoTimeout,
                                                       OSTREL::Network::Socket::CConnecterTraits> {
 public:
  ~CTARNNetC2CUDPConnecter() override { Close(true); }

 protected:
  void OnReceive(int error) override;
};

}  // namespace P2P
