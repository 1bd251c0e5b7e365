#include "engine/net/TARNNetC2CUDPConnecter.h"

#include <array>

namespace P2P {

void CTARNNetC2CUDPConnecter::OnReceive(int /*error*/) {
  std::array<uint8_t, 2048> discard{};
  size_t received = 0;
  sockaddr_in from{};
  while (ReceiveFrom(discard, received, from)) {
  }
}

}  // namespace P2P
