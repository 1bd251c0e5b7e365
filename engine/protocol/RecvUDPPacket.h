// Parser of one received eD2K datagram, which may hold several packets back to back. It keeps
// the sender's address and port for the handler. Used by the thread that owns the UDP socket.
//
// The handler T provides `size_t Dispatch(uint8_t opcode, uint8_t protocol,
// std::span<const uint8_t> payload, const SUdpSender& sender)` returning the payload bytes it
// used; the next packet starts after them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/protocol/Packet.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

struct SUdpSender {
  uint32_t address = 0;  // IPv4, the four bytes in wire order (first byte lowest)
  uint16_t port = 0;
};

// Servers answer from their UDP port, which is their TCP port plus 4.
inline uint16_t ServerPortFromSourcePort(uint16_t sourcePort) {
  return static_cast<uint16_t>(sourcePort - 4);
}

template <typename T>
class CTARNNetRecvUDPPacket {
 public:
  CTARNNetRecvUDPPacket(T& handler, SUdpSender sender) : handler_(handler), sender_(sender) {}

  const SUdpSender& Sender() const { return sender_; }

  // Handles the packet at the stream's position; true when it was handled and more may follow.
  // Only eDonkey and extended packets are read: any other protocol byte, the packed one
  // included, ends the datagram.
  bool Parse(CStreamReader& stream) {
    const size_t start = stream.Position();
    uint8_t protocol = 0, opcode = 0;
    if (!stream.ReadUInt8(protocol) || !stream.ReadUInt8(opcode)) {
      stream.Seek(start);
      return false;
    }
    if (protocol != kProtocolEDonkey && protocol != kProtocolExtended) {
      stream.Seek(start);
      return false;
    }
    const auto payload = stream.Rest();
    const size_t used = handler_.Dispatch(opcode, protocol, payload, sender_);
    stream.Skip(std::min(used, payload.size()));
    return !stream.AtEnd();
  }

  void ParseDatagram(std::span<const uint8_t> datagram) {
    CStreamReader stream(datagram);
    while (Parse(stream)) {
    }
  }

 private:
  T& handler_;
  SUdpSender sender_;
};

}  // namespace P2P::Protocol
