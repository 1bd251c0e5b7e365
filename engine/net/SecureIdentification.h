// What a peer TCP session asks of the credit list during secure identification: each side
// proves it owns the private key behind its public key by signing the other side's challenge.
// The session passes the packet payloads it received (extended protocol 0xC5, opcodes below)
// and sends the packets it is given back, in order. Called from any session thread; the
// implementation guards its records itself.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/base/Hash.h"

namespace P2P::Credit {

constexpr uint8_t kOpSecIdentPublicKey = 0x85;
constexpr uint8_t kOpSecIdentSignature = 0x86;
constexpr uint8_t kOpSecIdentState = 0x87;

// The identification states of a remote user's record.
constexpr uint32_t kIdentNone = 0;
constexpr uint32_t kIdentVerified = 2;
constexpr uint32_t kIdentFailed = 3;

// What the exchange needs to know about one connection.
struct SSecureIdentContext {
  _tagUnionHash remoteUserHash{};
  uint8_t remoteVersion = 0;      // the remote side's secure identification version, 0 = none
  uint32_t ownClientId = 0;       // this engine's id from its server (0 while not logged in)
  uint32_t ownPublicAddress = 0;  // this engine's address as peers report it, 0 while unknown
  // The remote side's address on this connection (network byte order). Version-2 signatures
  // bind it: the signer signs the verifier's address as it sees it, or its own id.
  uint32_t remoteAddress = 0;
};

// One packet to send: an extended-protocol (0xC5) opcode and its payload.
struct SSecureIdentPacket {
  uint8_t opcode = 0;
  std::vector<uint8_t> payload;
};

class ITARNNetSecureIdentification {
 public:
  virtual ~ITARNNetSecureIdentification() = default;
  // The state packet that opens the exchange; nothing when the remote side has no version.
  virtual std::vector<SSecureIdentPacket> SendState(const SSecureIdentContext& context) = 0;
  // The answers to a state packet: the public key and/or a signature, possibly nothing.
  virtual std::vector<SSecureIdentPacket> OnState(const SSecureIdentContext& context,
                                                  std::span<const uint8_t> payload) = 0;
  virtual void OnPublicKey(const SSecureIdentContext& context,
                           std::span<const uint8_t> payload) = 0;
  virtual void OnSignature(const SSecureIdentContext& context,
                           std::span<const uint8_t> payload) = 0;
  // The signature owed to the remote side when its state packet asked for one before its
  // public key had arrived; a session calls it right after OnPublicKey.
  virtual std::vector<SSecureIdentPacket> PendingSignature(const SSecureIdentContext& /*context*/) {
    return {};
  }
  // The remote user's identification state (kIdentNone when no record exists).
  virtual uint32_t IdentificationState(const _tagUnionHash& remoteUserHash) = 0;
};

}  // namespace P2P::Credit
