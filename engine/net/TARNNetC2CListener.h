// The peer TCP listener on the configured TCP port. Until peer sessions exist it holds the
// port (so peers and servers see it open and the port-moving rule applies) and closes every
// connection it accepts. Handlers run on the listener's own thread; Create/Close from the
// connection manager's thread.
#pragma once

#include "framework/EventSocketImpl.h"
#include "framework/NetworkEvents.h"

namespace P2P {

class CTARNNetC2CListener
    : public OSTREL::Network::Socket::CEventSocketImpl<CTARNNetC2CListener,
                                                       OSTREL::Network::Socket::kNoTimeout,
                                                       OSTREL::Network::Socket::CListenerTraits> {
 public:
  ~CTARNNetC2CListener() override { Close(true); }

 protected:
  void OnAccept(int error) override;
};

}  // namespace P2P
