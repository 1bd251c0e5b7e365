#include "engine/protocol/SecureIdentPayloads.h"

#include "engine/protocol/Limits.h"
#include "engine/protocol/Stream.h"

namespace P2P::Protocol {

std::optional<SSecIdentState> ParseSecIdentState(std::span<const uint8_t> payload) {
  CStreamReader stream(payload);
  SSecIdentState state;
  if (!stream.ReadUInt8(state.state) || !stream.ReadUInt32(state.challenge)) return std::nullopt;
  return state;
}

std::vector<uint8_t> BuildSecIdentState(const SSecIdentState& state) {
  std::vector<uint8_t> payload;
  CStreamWriter writer(payload);
  writer.WriteUInt8(state.state);
  writer.WriteUInt32(state.challenge);
  return payload;
}

std::optional<std::span<const uint8_t>> ParseSecIdentPublicKey(std::span<const uint8_t> payload) {
  CStreamReader stream(payload);
  uint8_t length = 0;
  std::span<const uint8_t> key;
  if (!stream.ReadUInt8(length) || length == 0 || length > kMaxSecureIdentKeyLength ||
      !stream.ReadView(length, key))
    return std::nullopt;
  return key;
}

std::vector<uint8_t> BuildSecIdentPublicKey(std::span<const uint8_t> key) {
  std::vector<uint8_t> payload;
  if (key.empty() || key.size() > kMaxSecureIdentKeyLength) return payload;
  CStreamWriter writer(payload);
  writer.WriteUInt8(static_cast<uint8_t>(key.size()));
  writer.WriteBytes(key);
  return payload;
}

std::optional<SSecIdentSignature> ParseSecIdentSignature(std::span<const uint8_t> payload,
                                                         uint8_t remoteVersion) {
  CStreamReader stream(payload);
  uint8_t length = 0;
  SSecIdentSignature signature;
  if (!stream.ReadUInt8(length) || length == 0 || !stream.ReadView(length, signature.signature))
    return std::nullopt;
  if (stream.Remaining() == 1 && remoteVersion > 1) stream.ReadUInt8(signature.addressKind);
  return signature;
}

std::vector<uint8_t> BuildSecIdentSignature(std::span<const uint8_t> signature,
                                            uint8_t addressKind) {
  std::vector<uint8_t> payload;
  if (signature.empty() || signature.size() > 0xFF) return payload;
  CStreamWriter writer(payload);
  writer.WriteUInt8(static_cast<uint8_t>(signature.size()));
  writer.WriteBytes(signature);
  if (addressKind != 0) writer.WriteUInt8(addressKind);
  return payload;
}

std::vector<uint8_t> BuildSecIdentMessage(std::span<const uint8_t> verifierKey, uint32_t challenge,
                                          uint8_t addressKind, uint32_t address) {
  std::vector<uint8_t> message;
  CStreamWriter writer(message);
  writer.WriteBytes(verifierKey);
  writer.WriteUInt32(challenge);
  if (addressKind != 0) {
    writer.WriteUInt32(address);
    writer.WriteUInt8(addressKind);
  }
  return message;
}

}  // namespace P2P::Protocol
