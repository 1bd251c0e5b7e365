#include "engine/protocol/Packet.h"

#include "engine/protocol/Limits.h"

namespace P2P::Protocol {
namespace {

constexpr size_t kLengthOffset = 1;

}  // namespace

CTARNNetTCPPacket::CTARNNetTCPPacket(uint8_t opcode, uint8_t protocol)
    : protocol_(protocol), opcode_(opcode), writer_(bytes_) {
  writer_.WriteUInt8(protocol);
  writer_.WriteUInt32(0);
  writer_.WriteUInt8(opcode);
}

bool CTARNNetTCPPacket::Finish() {
  const size_t length = bytes_.size() - kTcpFrameSize;
  if (length > kMaxTcpPacketLength) return false;
  return writer_.PatchUInt32(kLengthOffset, static_cast<uint32_t>(length));
}

CTARNNetUDPPacket::CTARNNetUDPPacket(uint8_t opcode, uint8_t protocol)
    : protocol_(protocol), opcode_(opcode), writer_(bytes_, kMaxDatagramSize) {
  writer_.WriteUInt8(protocol);
  writer_.WriteUInt8(opcode);
}

}  // namespace P2P::Protocol
