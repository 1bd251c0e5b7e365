// One remote user's credit record: the public key it proved (or failed to prove) it owns, the
// state of the secure identification exchange, the bytes exchanged with it and when it was
// last identified. Plain data; the credit list guards every record it holds.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/base/Hash.h"
#include "engine/protocol/Limits.h"

namespace P2P::Credit {

// Records not identified for 150 days are dropped when the list is saved or loaded.
inline constexpr uint32_t kCreditExpirySeconds = 12960000;

struct _tagStructClientCredit {
  _tagUnionHash userHash;
  uint32_t identState = 0;  // kIdentNone, kIdentVerified or kIdentFailed
  uint32_t uploadLow = 0;   // bytes uploaded to the user
  uint32_t uploadHigh = 0;
  uint32_t downloadLow = 0;  // bytes downloaded from the user
  uint32_t downloadHigh = 0;
  uint32_t lastSeen = 0;  // seconds since 1970 (low 32 bits), set when a signature verifies
  uint8_t publicKeyLength = 0;
  std::array<uint8_t, Protocol::kMaxSecureIdentKeyLength> publicKey{};  // DER, X.509 form
  uint32_t challengeReceived = 0;  // the remote user's challenge to this engine
  uint32_t challengeSent = 0;      // this engine's challenge to the remote user; 0 = none

  bool HasPublicKey() const { return publicKeyLength > 0; }
  std::span<const uint8_t> PublicKey() const { return {publicKey.data(), publicKeyLength}; }
  // False (and nothing stored) for an empty key or one longer than the record holds.
  bool SetPublicKey(std::span<const uint8_t> key);

  uint64_t Uploaded() const { return (uint64_t{uploadHigh} << 32) | uploadLow; }
  uint64_t Downloaded() const { return (uint64_t{downloadHigh} << 32) | downloadLow; }
  void AddUploaded(uint64_t bytes);
  void AddDownloaded(uint64_t bytes);
};

// Expired: last seen more than kCreditExpirySeconds before `now` (exactly that long still counts).
bool IsExpired(const _tagStructClientCredit& credit, uint32_t now);

}  // namespace P2P::Credit
