// Payloads of the secure identification exchange between peers (extended protocol): the state
// (what the sender needs and its challenge), the public key, the signature, and the message a
// signature covers. Pure codecs; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace P2P::Protocol {

// State bytes: the sender knows our key and wants a signature, or it needs the key first.
inline constexpr uint8_t kSecIdentNeedSignature = 1;
inline constexpr uint8_t kSecIdentNeedKeyAndSignature = 2;

// What the address in a version-2 signature stands for: the verifier's address as the signer
// sees it, or the signer's own id from its server.
inline constexpr uint8_t kSecIdentAddressRemote = 10;
inline constexpr uint8_t kSecIdentAddressLocal = 20;

struct SSecIdentState {
  uint8_t state = 0;
  uint32_t challenge = 0;
};

struct SSecIdentSignature {
  std::span<const uint8_t> signature;
  uint8_t addressKind = 0;  // 0 = no address signed
};

// u8 state, u32 challenge.
std::optional<SSecIdentState> ParseSecIdentState(std::span<const uint8_t> payload);
std::vector<uint8_t> BuildSecIdentState(const SSecIdentState& state);

// u8 length, key bytes; only keys of 1 to kMaxSecureIdentKeyLength bytes are taken.
std::optional<std::span<const uint8_t>> ParseSecIdentPublicKey(std::span<const uint8_t> payload);
std::vector<uint8_t> BuildSecIdentPublicKey(std::span<const uint8_t> key);

// u8 length, signature, and from a version-2 sender one byte more: the address kind.
std::optional<SSecIdentSignature> ParseSecIdentSignature(std::span<const uint8_t> payload,
                                                         uint8_t remoteVersion);
std::vector<uint8_t> BuildSecIdentSignature(std::span<const uint8_t> signature,
                                            uint8_t addressKind);

// The signed bytes: the verifier's public key, the verifier's challenge (u32), and with a
// nonzero kind the address (u32, network byte order value) and the kind.
std::vector<uint8_t> BuildSecIdentMessage(std::span<const uint8_t> verifierKey, uint32_t challenge,
                                          uint8_t addressKind, uint32_t address);

}  // namespace P2P::Protocol
