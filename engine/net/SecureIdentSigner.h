// The engine's own side of secure identification: the RSASSA-PKCS1-v1_5 / SHA-1 signer made
// from the engine's private key with the DER public key derived from it, plus the checks of a
// remote user's key and signature and fresh challenges. Crypto++ exceptions stay inside.
// Built once, then used from any session thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "framework/CriticalSection.h"

namespace P2P::Credit {

class CSecureIdentSigner {
 public:
  // From the Base64 text of the DER private key; nullptr when it does not decode or its
  // public key does not fit a key record.
  static std::unique_ptr<CSecureIdentSigner> FromPrivateKeyText(std::span<const uint8_t> text);
  ~CSecureIdentSigner();

  std::span<const uint8_t> PublicKey() const { return publicKey_; }
  // nullopt when the library fails.
  std::optional<std::vector<uint8_t>> Sign(std::span<const uint8_t> message) const;

 private:
  struct SKey;
  CSecureIdentSigner(std::unique_ptr<SKey> key, std::vector<uint8_t> publicKey);

  std::unique_ptr<SKey> key_ GUARDED_BY(signLock_);
  std::vector<uint8_t> publicKey_;
  mutable OSTREL::Process::CMutex signLock_;  // the library's signer is not shared between threads
};

// True when `publicKey` (DER, X.509 form) decodes as an RSA public key.
bool IsUsablePublicKey(std::span<const uint8_t> publicKey);
// False for a key that does not decode, a bad signature, or a library error.
bool VerifySecureIdentSignature(std::span<const uint8_t> publicKey,
                                std::span<const uint8_t> message,
                                std::span<const uint8_t> signature);
// A nonzero challenge from the operating system's generator: an old signature cannot be
// replayed against a challenge an observer could foresee.
uint32_t NewSecureIdentChallenge();

}  // namespace P2P::Credit
