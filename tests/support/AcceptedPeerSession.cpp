#include "tests/support/AcceptedPeerSession.h"

#include <cstring>

#include "engine/protocol/PeerMessages.h"

namespace tarn::test {

bool AcceptedPeerSession::Open(P2P::CPeerSessionContext& context, P2P::Client::CClientPtr client) {
  if (!manager_.Start() || !pair_.IsValid()) return false;
  session_ = new P2P::CTARNNetC2CTCPConnecterT(context, std::move(client));
  session_->AddRef();
  return session_->AttachAccepted(pair_.TakeServer()) && manager_.Add(session_);
}

void AcceptedPeerSession::Close() {
  manager_.Stop();
  if (session_ == nullptr) return;
  session_->Release();
  session_ = nullptr;
}

bool AcceptedPeerSession::Send(uint8_t protocol, uint8_t opcode,
                               const std::vector<uint8_t>& payload) {
  const auto packet = P2P::Protocol::BuildPeerPacket(protocol, opcode, payload);
  return WriteAll(pair_.Client(), std::string(packet.begin(), packet.end()));
}

std::string AcceptedPeerSession::ReadPacket() {
  const std::string header = ReadExactly(pair_.Client(), 5);
  if (header.size() != 5) return {};
  uint32_t length = 0;
  std::memcpy(&length, header.data() + 1, 4);
  return header + ReadExactly(pair_.Client(), length);
}

}  // namespace tarn::test
