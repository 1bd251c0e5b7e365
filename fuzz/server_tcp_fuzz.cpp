// Frames server bytes into packets and reads each as the server TCP session does.
#include "engine/protocol/C2STCPDispatcher.h"
#include "engine/protocol/RecvTCPPacket.h"

namespace {

struct NullSession : P2P::Protocol::ITARNNetC2STCPEventDispatcher {
  void OnServerMessage(const std::string&) override {}
  void OnIdChange(uint32_t, uint32_t) override {}
  void OnSearchResultEnd(bool) override {}
  void OnFoundSources(const P2P::Protocol::SFoundSources&) override {}
  void OnServerStatus(uint32_t, uint32_t) override {}
  void OnServerIdent(const P2P::Protocol::SServerIdent&) override {}
  void OnServerList(const std::vector<P2P::Protocol::SAddressPort>&) override {}
  void OnCallbackRequested(uint32_t, uint16_t) override {}
  void OnSearchResult(const P2P::Protocol::SOfferRecord&) override {}
  bool IsSessionOpen() const override { return true; }
  bool Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload) {
    return P2P::Protocol::DispatchServerTcpPacket(*this, opcode, protocol, payload);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NullSession session;
  P2P::Protocol::CTARNNetRecvTCPPacket<NullSession> parser(session);
  if (parser.ParseAll({data, size}).consumed > size) __builtin_trap();
  return 0;
}
