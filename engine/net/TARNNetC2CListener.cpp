#include "engine/net/TARNNetC2CListener.h"

#include <unistd.h>

namespace P2P {

void CTARNNetC2CListener::OnAccept(int /*error*/) {
  int accepted = -1;
  while (Accept(accepted)) {
    OSTREL::Network::Socket::CSocketT<1> peer(accepted);
    peer.Close(true);
  }
}

}  // namespace P2P
