// Builders of outgoing eD2K packets and the protocol bytes. A TCP packet is protocol, a 32-bit
// length of what follows, opcode and payload; a UDP packet is protocol, opcode and payload,
// one packet per datagram. A builder is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

inline constexpr uint8_t kProtocolEDonkey = 0xE3;
inline constexpr uint8_t kProtocolExtended = 0xC5;
inline constexpr uint8_t kProtocolPacked = 0xD4;

// Protocol byte, length and opcode.
inline constexpr size_t kTcpHeaderSize = 6;
// Protocol byte and length: what must be present before a packet can be measured.
inline constexpr size_t kTcpFrameSize = 5;
inline constexpr size_t kUdpHeaderSize = 2;

// Writes the header with a zero length, then the payload through Writer(); Finish() patches
// the length with the number of bytes written after it.
class CTARNNetTCPPacket {
 public:
  explicit CTARNNetTCPPacket(uint8_t opcode, uint8_t protocol = kProtocolEDonkey);
  CTARNNetTCPPacket(const CTARNNetTCPPacket&) = delete;
  CTARNNetTCPPacket& operator=(const CTARNNetTCPPacket&) = delete;

  uint8_t Protocol() const { return protocol_; }
  uint8_t Opcode() const { return opcode_; }
  CStreamWriter& Writer() { return writer_; }

  // False when the payload outgrew the largest packet a receiver accepts.
  bool Finish();
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  uint8_t protocol_;
  uint8_t opcode_;
  std::vector<uint8_t> bytes_;
  CStreamWriter writer_;
};

class CTARNNetUDPPacket {
 public:
  explicit CTARNNetUDPPacket(uint8_t opcode, uint8_t protocol = kProtocolEDonkey);
  CTARNNetUDPPacket(const CTARNNetUDPPacket&) = delete;
  CTARNNetUDPPacket& operator=(const CTARNNetUDPPacket&) = delete;

  uint8_t Protocol() const { return protocol_; }
  uint8_t Opcode() const { return opcode_; }
  // Bounded to what one datagram can carry.
  CStreamWriter& Writer() { return writer_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  uint8_t protocol_;
  uint8_t opcode_;
  std::vector<uint8_t> bytes_;
  CStreamWriter writer_;
};

}  // namespace P2P::Protocol
