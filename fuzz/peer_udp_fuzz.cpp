// Feeds one datagram to the peer UDP endpoint's reader; no socket is opened.
#include "engine/net/TARNNetC2CUDPConnecter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static P2P::CTARNNetC2CUDPConnecter udp;
  static P2P::Protocol::ITARNNetC2CUDPEventDispatcher events;  // every event does nothing
  udp.SetEventDispatcher(&events);
  udp.HandleDatagram({data, size}, 0x0100007F, 4672);
  return 0;
}
