// Reading and building peer UDP datagrams: protocol byte (0xE3 or 0xC5, either for every
// opcode), opcode, payload bounded by the datagram. Pure codec: bytes in, handler calls or
// bytes out. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/protocol/C2CUDPDispatcher.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

class CTARNNetC2CRecvUDPPacket {
 public:
  CTARNNetC2CRecvUDPPacket(ITARNNetC2CUDPDispatcher& handler, SUdpSender sender)
      : handler_(handler), sender_(sender) {}

  // One datagram: false (no handler called) when it is shorter than its header, has another
  // protocol byte, an unknown opcode or a payload too short for its opcode.
  bool ParseDatagram(std::span<const uint8_t> datagram);
  // The payload after the header; returns the bytes it used, or nothing when it is refused.
  std::optional<size_t> Parse(uint8_t opcode, std::span<const uint8_t> payload);

  // After a refused datagram: its opcode and why (no refusal for other protocols and unknown
  // opcodes, which are ignored rather than refused).
  uint8_t RefusedOpcode() const { return refusedOpcode_; }
  const SRefusal& Refusal() const { return refusal_; }

 private:
  std::nullopt_t Refuse(uint8_t opcode, const CStreamReader& stream);

  ITARNNetC2CUDPDispatcher& handler_;
  SUdpSender sender_;
  uint8_t refusedOpcode_ = 0;
  SRefusal refusal_;
};

std::vector<uint8_t> BuildReaskFilePing(const _tagUnionHash& hash);
std::vector<uint8_t> BuildReaskAck(uint16_t rank);
// Header alone: queue full, file not found, 0x94.
std::vector<uint8_t> BuildPeerUdpSignal(uint8_t opcode);
std::vector<uint8_t> BuildPortTest();

}  // namespace P2P::Protocol
