// Parser of the eD2K packets in a TCP receive buffer. It works in place over the received
// bytes, hands each complete packet to its handler and says how many bytes it used, so the
// socket layer can drop them; an incomplete packet waits for more bytes. Used by the one
// thread that owns the session's socket.
//
// The handler T provides `Dispatch(uint8_t opcode, uint8_t protocol, std::span<const uint8_t>
// payload)`, returning void or bool (false: stop parsing, e.g. the session closed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "engine/protocol/Inflate.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/Packet.h"
#include "engine/protocol/Refusal.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

enum class ETcpParse {
  kPacket,        // one packet consumed (dispatched or dropped)
  kStopped,       // one packet consumed and the handler asked to stop
  kIncomplete,    // not a whole packet yet; nothing consumed
  kFramingError,  // declared length above the cap; nothing consumed, close the connection
};

struct SParseResult {
  size_t consumed = 0;
  ETcpParse last = ETcpParse::kIncomplete;
  // Packets refused whole (a packed payload that does not inflate, the framing error) and the
  // first of their refusals with its opcode (0 for the framing error).
  uint32_t refused = 0;
  uint8_t refusedOpcode = 0;
  SRefusal refusal;
};

template <typename T>
class CTARNNetRecvTCPPacket {
 public:
  explicit CTARNNetRecvTCPPacket(T& handler) : handler_(handler) {}

  // Parses the packet at the stream's position and moves past it when consumed.
  ETcpParse Parse(CStreamReader& stream) {
    const size_t start = stream.Position();
    uint8_t protocol = 0;
    uint32_t length = 0;
    if (!stream.ReadUInt8(protocol) || !stream.ReadUInt32(length)) {
      stream.Seek(start);
      return ETcpParse::kIncomplete;
    }
    if (length > kMaxTcpPacketLength) {
      stream.Seek(start);
      NoteRefusal(0, {"packet length", ERefusalReason::kOverLimit, length, kMaxTcpPacketLength});
      return ETcpParse::kFramingError;
    }
    std::span<const uint8_t> body;
    if (!stream.ReadView(length, body)) {
      stream.Seek(start);
      return ETcpParse::kIncomplete;
    }
    if (body.empty()) return ETcpParse::kPacket;  // no opcode: nothing to dispatch
    return Deliver(protocol, body[0], body.subspan(1)) ? ETcpParse::kPacket : ETcpParse::kStopped;
  }

  // Parses every complete packet in `received`, in order.
  SParseResult ParseAll(std::span<const uint8_t> received) {
    CStreamReader stream(received);
    result_ = SParseResult{};
    do {
      result_.last = Parse(stream);
    } while (result_.last == ETcpParse::kPacket);
    result_.consumed = stream.Position();
    return result_;
  }

 private:
  // False when the handler asked to stop.
  bool Deliver(uint8_t protocol, uint8_t opcode, std::span<const uint8_t> payload) {
    switch (protocol) {
      case kProtocolEDonkey:
      case kProtocolExtended:
        return Call(opcode, protocol, payload);
      case kProtocolPacked:
        // A packet that does not inflate within the cap is dropped; the stream goes on.
        if (!InflatePacked(payload, inflated_)) {
          NoteRefusal(opcode, {"packed payload", ERefusalReason::kMalformed, payload.size(),
                               kMaxInflatedSize});
          return true;
        }
        return Call(opcode, protocol, inflated_);
      default:
        return true;  // unknown protocol: skipped by its length
    }
  }

  bool Call(uint8_t opcode, uint8_t protocol, std::span<const uint8_t> payload) {
    if constexpr (std::is_same_v<decltype(handler_.Dispatch(opcode, protocol, payload)), bool>) {
      return handler_.Dispatch(opcode, protocol, payload);
    } else {
      handler_.Dispatch(opcode, protocol, payload);
      return true;
    }
  }

  void NoteRefusal(uint8_t opcode, const SRefusal& refusal) {
    if (result_.refused++ == 0) {
      result_.refusedOpcode = opcode;
      result_.refusal = refusal;
    }
  }

  T& handler_;
  std::vector<uint8_t> inflated_;
  SParseResult result_;
};

}  // namespace P2P::Protocol
