#include "engine/net/TARNNetC2CUDPConnecter.h"

#include <netinet/in.h>

#include "engine/protocol/C2CRecvUDPPacket.h"
#include "engine/protocol/Limits.h"

namespace P2P {

using namespace Protocol;

void CTARNNetC2CUDPConnecter::OnReceive(int /*error*/) {
  receiveBuffer_.resize(kMaxDatagramSize);
  size_t received = 0;
  sockaddr_in from{};
  // Errors of earlier sends are reported here too; a datagram socket has nothing to lose.
  while (ReceiveFrom(receiveBuffer_, received, from))
    HandleDatagram(std::span(receiveBuffer_.data(), received), from.sin_addr.s_addr,
                   ntohs(from.sin_port));
}

void CTARNNetC2CUDPConnecter::HandleDatagram(std::span<const uint8_t> datagram,
                                             uint32_t sourceAddress, uint16_t sourcePort) {
  CTARNNetC2CRecvUDPPacket parser(*this, {sourceAddress, sourcePort});
  if (!parser.ParseDatagram(datagram) && parser.Refusal())
    refusals_.Note(parser.RefusedOpcode(), parser.Refusal());
}

void CTARNNetC2CUDPConnecter::OnReaskFilePing(const SUdpSender& from, const _tagUnionHash& hash) {
  if (auto* service = uploadService_.load()) {
    const std::vector<uint8_t> answer = service->OnReaskPing(from, hash);
    if (!answer.empty()) SendDatagram(answer, from.address, from.port);
  }
  if (auto* events = events_.load()) events->OnReaskFilePing(*this, from, hash);
}
void CTARNNetC2CUDPConnecter::OnReaskAck(const SUdpSender& from, uint16_t rank) {
  if (auto* events = events_.load()) events->OnReaskAck(*this, from, rank);
}
void CTARNNetC2CUDPConnecter::OnQueueFull(const SUdpSender& from) {
  if (auto* events = events_.load()) events->OnQueueFull(*this, from);
}
void CTARNNetC2CUDPConnecter::OnFileNotFound(const SUdpSender& from) {
  if (auto* events = events_.load()) events->OnFileNotFound(*this, from);
}
void CTARNNetC2CUDPConnecter::OnPeerUdp94(const SUdpSender& from) {
  if (auto* events = events_.load()) events->OnPeerUdp94(*this, from);
}
void CTARNNetC2CUDPConnecter::OnPortTest(const SUdpSender& from) {
  if (auto* events = events_.load()) events->OnPortTest(*this, from);
}

bool CTARNNetC2CUDPConnecter::SendDatagram(std::span<const uint8_t> datagram, uint32_t address,
                                           uint16_t port) {
  return IsOpen() && SendTo(datagram, address, port);
}

bool CTARNNetC2CUDPConnecter::SendReaskFilePing(uint32_t address, uint16_t port,
                                                const _tagUnionHash& hash) {
  return SendDatagram(BuildReaskFilePing(hash), address, port);
}
bool CTARNNetC2CUDPConnecter::SendReaskAck(uint32_t address, uint16_t port, uint16_t rank) {
  return SendDatagram(BuildReaskAck(rank), address, port);
}
bool CTARNNetC2CUDPConnecter::SendQueueFull(uint32_t address, uint16_t port) {
  return SendDatagram(BuildPeerUdpSignal(kOpQueueFull), address, port);
}
bool CTARNNetC2CUDPConnecter::SendFileNotFound(uint32_t address, uint16_t port) {
  return SendDatagram(BuildPeerUdpSignal(kOpUdpFileNotFound), address, port);
}
bool CTARNNetC2CUDPConnecter::SendPeerUdp94(uint32_t address, uint16_t port) {
  return SendDatagram(BuildPeerUdpSignal(kOpPeerUdp94), address, port);
}
bool CTARNNetC2CUDPConnecter::SendPortTest(uint32_t address, uint16_t port) {
  return SendDatagram(BuildPortTest(), address, port);
}

}  // namespace P2P
