#include "tests/support/RawPeerClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "engine/net/SecureIdentification.h"
#include "engine/net/TARNNetClientCreditList.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/LoopbackPair.h"

namespace tarn::test {

using namespace P2P::Protocol;

RawPeerClient::RawPeerClient(const P2P::_tagUnionHash& user) {
  own_.userHash = user;
  own_.userName = "raw";
  own_.tcpPort = 4662;
}

RawPeerClient::~RawPeerClient() { Disconnect(); }

bool RawPeerClient::SetIdentityKey(const std::string& privateKeyText) {
  identity_ = std::make_unique<P2P::Credit::CTARNNetClientCreditList>();
  const auto* bytes = reinterpret_cast<const uint8_t*>(privateKeyText.data());
  if (!identity_->SetPrivateKey({bytes, privateKeyText.size()})) return false;
  own_.capabilities |= 1u << 16;  // secure identification version 1
  return true;
}

bool RawPeerClient::Connect(uint16_t port) {
  Disconnect();
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = kLoopbackAddress;
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return true;
  Disconnect();
  return false;
}

void RawPeerClient::Disconnect() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  pending_.clear();
}

std::vector<uint8_t> RawPeerClient::HelloPacket() const {
  return BuildPeerPacket(kProtocolEDonkey, kOpPeerHello, BuildHelloPayload(own_, false));
}

bool RawPeerClient::Hello() {
  const std::vector<uint8_t> hello = HelloPacket();
  if (!WriteAll(fd_, std::string(hello.begin(), hello.end()))) return false;
  const Packet answer = ReadUntil(kOpHelloAnswer);
  if (answer.opcode != kOpHelloAnswer || answer.body.size() < 16) return false;
  std::memcpy(engineUser_.bytes.data(), answer.body.data(), 16);
  return true;
}

bool RawPeerClient::Send(uint8_t protocol, uint8_t opcode, std::span<const uint8_t> payload) {
  const std::vector<uint8_t> packet = BuildPeerPacket(protocol, opcode, payload);
  return fd_ >= 0 && WriteAll(fd_, std::string(packet.begin(), packet.end()));
}

bool RawPeerClient::SendHashed(uint8_t opcode, const P2P::_tagUnionHash& file) {
  return Send(kProtocolEDonkey, opcode, file.bytes);
}

bool RawPeerClient::RequestParts(const P2P::_tagUnionHash& file, std::array<uint32_t, 3> starts,
                                 std::array<uint32_t, 3> ends) {
  std::vector<uint8_t> payload(file.bytes.begin(), file.bytes.end());
  CStreamWriter writer(payload);
  for (uint32_t start : starts) writer.WriteUInt32(start);
  for (uint32_t end : ends) writer.WriteUInt32(end);
  return Send(kProtocolEDonkey, kOpRequestParts, payload);
}

RawPeerClient::Packet RawPeerClient::Read(std::chrono::milliseconds deadline) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (fd_ >= 0) {
    uint32_t length = 0;
    if (pending_.size() >= 5) std::memcpy(&length, pending_.data() + 1, 4);
    if (pending_.size() >= 5 && pending_.size() - 5 >= length) {
      Packet packet;
      packet.protocol = static_cast<uint8_t>(pending_[0]);
      if (length > 0) {
        packet.opcode = static_cast<uint8_t>(pending_[5]);
        packet.body = pending_.substr(6, length - 1);
      }
      pending_.erase(0, 5 + length);
      if (length == 0) continue;
      if (packet.protocol == kProtocolExtended &&
          (packet.opcode == P2P::Credit::kOpSecIdentState ||
           packet.opcode == P2P::Credit::kOpSecIdentPublicKey ||
           packet.opcode == P2P::Credit::kOpSecIdentSignature)) {
        AnswerSecureIdent(packet);
        continue;
      }
      return packet;
    }
    // A partial packet stays buffered for the next call.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) != 1) return {};
    char chunk[65536];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return {};
    pending_.append(chunk, static_cast<size_t>(got));
  }
  return {};
}

RawPeerClient::Packet RawPeerClient::ReadUntil(uint8_t opcode, std::chrono::milliseconds deadline) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    Packet packet = Read(left);
    if (packet.opcode == 0 || packet.opcode == opcode) return packet;
  }
}

void RawPeerClient::AnswerSecureIdent(const Packet& packet) {
  if (!identity_) return;
  P2P::Credit::SSecureIdentContext context;
  context.remoteUserHash = engineUser_;
  context.remoteVersion = 1;
  context.remoteAddress = kLoopbackAddress;
  const auto* bytes = reinterpret_cast<const uint8_t*>(packet.body.data());
  const std::span<const uint8_t> payload(bytes, packet.body.size());
  std::vector<P2P::Credit::SSecureIdentPacket> answers;
  switch (packet.opcode) {
    case P2P::Credit::kOpSecIdentState:
      answers = identity_->OnState(context, payload);
      break;
    case P2P::Credit::kOpSecIdentPublicKey:
      identity_->OnPublicKey(context, payload);
      answers = identity_->PendingSignature(context);
      break;
    default:
      identity_->OnSignature(context, payload);
      break;
  }
  // The engine gives its key only when asked; our signature is owed until it has come.
  if (!stateSent_) {
    stateSent_ = true;
    for (auto& state : identity_->SendState(context)) answers.push_back(std::move(state));
  }
  for (const auto& answer : answers) Send(kProtocolExtended, answer.opcode, answer.payload);
}

bool RawPeerClient::ParseData(const Packet& packet, Data& data) {
  if (packet.protocol != kProtocolEDonkey || packet.opcode != kOpSendingPart ||
      packet.body.size() < 24)
    return false;
  std::memcpy(&data.start, packet.body.data() + 16, 4);
  std::memcpy(&data.end, packet.body.data() + 20, 4);
  return data.end >= data.start && data.end - data.start == packet.body.size() - 24;
}

uint16_t RawPeerClient::RankOf(const Packet& packet) {
  uint16_t rank = 0;
  if (packet.opcode == kOpQueueRank && packet.body.size() >= 2)
    std::memcpy(&rank, packet.body.data(), 2);
  return rank;
}

}  // namespace tarn::test
