#include "engine/protocol/C2CRecvUDPPacket.h"

#include "engine/protocol/Packet.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

bool CTARNNetC2CRecvUDPPacket::ParseDatagram(std::span<const uint8_t> datagram) {
  CStreamReader stream(datagram);
  uint8_t protocol = 0, opcode = 0;
  if (!stream.ReadUInt8(protocol) || !stream.ReadUInt8(opcode)) return false;
  // Packed datagrams are not unpacked here.
  if (protocol != kProtocolEDonkey && protocol != kProtocolExtended) return false;
  return Parse(opcode, stream.Rest()).has_value();
}

std::optional<size_t> CTARNNetC2CRecvUDPPacket::Parse(uint8_t opcode,
                                                      std::span<const uint8_t> payload) {
  CStreamReader stream(payload);
  switch (opcode) {
    case kOpReaskFilePing: {
      // Later senders append more after the hash; the hash is what we read.
      _tagUnionHash hash;
      if (!stream.ReadHash(hash)) return Refuse(opcode, stream);
      handler_.OnReaskFilePing(sender_, hash);
      break;
    }
    case kOpReaskAck: {
      uint16_t rank = 0;
      if (!stream.ReadUInt16(rank)) return Refuse(opcode, stream);
      handler_.OnReaskAck(sender_, rank);
      break;
    }
    case kOpQueueFull:
      handler_.OnQueueFull(sender_);
      break;
    case kOpUdpFileNotFound:
      handler_.OnFileNotFound(sender_);
      break;
    case kOpPeerUdp94:
      handler_.OnPeerUdp94(sender_);
      break;
    case kOpUdpPortTest: {
      uint8_t value = 0;
      if (!stream.ReadUInt8(value)) return Refuse(opcode, stream);
      if (value != kPortTestByte) {
        stream.Refuse("port test byte", ERefusalReason::kMalformed, value, kPortTestByte);
        return Refuse(opcode, stream);
      }
      handler_.OnPortTest(sender_);
      break;
    }
    default:
      return std::nullopt;
  }
  return stream.Position();
}

std::nullopt_t CTARNNetC2CRecvUDPPacket::Refuse(uint8_t opcode, const CStreamReader& stream) {
  refusedOpcode_ = opcode;
  refusal_ = stream.Refusal();
  return std::nullopt;
}

std::vector<uint8_t> BuildReaskFilePing(const _tagUnionHash& hash) {
  CTARNNetUDPPacket packet(kOpReaskFilePing, kProtocolExtended);
  packet.Writer().WriteHash(hash);
  return packet.Bytes();
}

std::vector<uint8_t> BuildReaskAck(uint16_t rank) {
  CTARNNetUDPPacket packet(kOpReaskAck, kProtocolExtended);
  packet.Writer().WriteUInt16(rank);
  return packet.Bytes();
}

std::vector<uint8_t> BuildPeerUdpSignal(uint8_t opcode) {
  CTARNNetUDPPacket packet(opcode, kProtocolExtended);
  return packet.Bytes();
}

std::vector<uint8_t> BuildPortTest() {
  CTARNNetUDPPacket packet(kOpUdpPortTest, kProtocolEDonkey);
  packet.Writer().WriteUInt8(kPortTestByte);
  return packet.Bytes();
}

}  // namespace P2P::Protocol
