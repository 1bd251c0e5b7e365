#include "engine/net/UdpReasker.h"

namespace P2P {

using EPingAnswer = Client::CTARNNetClientList::EPingAnswer;

void CTARNNetUdpReasker::Attach() {
  udp_.SetEventDispatcher(this);
  clients_.SetPingHook([this](const Client::CClientPtr& client) { return Ping(client); });
}

void CTARNNetUdpReasker::Detach() {
  clients_.SetPingHook(nullptr);
  udp_.SetEventDispatcher(nullptr);
}

bool CTARNNetUdpReasker::Ping(const Client::CClientPtr& client) {
  const uint16_t port = client->GetIdentity().udpPort;
  const _tagUnionHash file = client->GetRequestedFile();
  if (port == 0 || file.IsZero()) return false;
  return udp_.SendReaskFilePing(client->GetAddress(), port, file);
}

void CTARNNetUdpReasker::OnReaskAck(Protocol::ITARNNetC2CUDPDispatcher& /*udp*/,
                                    const Protocol::SUdpSender& from, uint16_t rank) {
  clients_.OnPingAnswer(from.address, from.port, EPingAnswer::kRank, rank);
}

void CTARNNetUdpReasker::OnQueueFull(Protocol::ITARNNetC2CUDPDispatcher& /*udp*/,
                                     const Protocol::SUdpSender& from) {
  clients_.OnPingAnswer(from.address, from.port, EPingAnswer::kQueueFull);
}

void CTARNNetUdpReasker::OnFileNotFound(Protocol::ITARNNetC2CUDPDispatcher& /*udp*/,
                                        const Protocol::SUdpSender& from) {
  clients_.OnPingAnswer(from.address, from.port, EPingAnswer::kFileNotFound);
}

}  // namespace P2P
