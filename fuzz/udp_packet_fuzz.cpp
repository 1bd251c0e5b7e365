// Splits a datagram into packets; each handler call claims as many bytes as its first byte says.
#include "engine/protocol/RecvUDPPacket.h"

struct Claimer {
  size_t Dispatch(uint8_t, uint8_t, std::span<const uint8_t> payload,
                  const P2P::Protocol::SUdpSender&) {
    return payload.empty() ? 0 : payload[0];
  }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Claimer claimer;
  P2P::Protocol::CTARNNetRecvUDPPacket<Claimer> parser(claimer, {0x0100007F, 4661});
  parser.ParseDatagram({data, size});
  return 0;
}
