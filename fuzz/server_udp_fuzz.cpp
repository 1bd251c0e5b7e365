// Reads one datagram from a server as the server UDP socket does.
#include "engine/protocol/C2SUDPDispatcher.h"
#include "engine/protocol/RecvUDPPacket.h"

namespace {

struct NullSocket : P2P::Protocol::ITARNNetC2SUDPEventDispatcher {
  void OnServerStatus(uint32_t, uint16_t, const P2P::Protocol::SServerStatusAnswer&) override {}
  void OnGlobalFoundSources(uint32_t, uint16_t, const P2P::Protocol::SFoundSources&) override {}
  void OnServerList(uint32_t, uint16_t, const std::vector<P2P::Protocol::SAddressPort>&) override {}
  void OnServerDescription(uint32_t, uint16_t, const P2P::Protocol::SServerDescription&) override {}
  void OnGlobalSearchResult(uint32_t, uint16_t, const P2P::Protocol::SOfferRecord&) override {}
  size_t Dispatch(uint8_t opcode, uint8_t, std::span<const uint8_t> payload,
                  const P2P::Protocol::SUdpSender& sender) {
    return P2P::Protocol::DispatchServerUdpPacket(*this, opcode, payload, sender);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NullSocket socket;
  P2P::Protocol::CTARNNetRecvUDPPacket<NullSocket>(socket, {0x0100007F, 4661})
      .ParseDatagram({data, size});
  return 0;
}
