// MD4 and SHA-1 digests as the engine uses them: incremental hashers for the one-pass file
// hashing and one-shot helpers for blocks held in memory. Each object belongs to one thread;
// the one-shot helpers may be called from any thread.
#pragma once

#include <openssl/types.h>

#include <cstdint>
#include <span>

#include "engine/base/Hash.h"
#include "engine/base/MD4.h"
#include "engine/hashing/AICHHash.h"

namespace P2P::HASH {

// Final finishes the digest and restarts the hasher.
using CMD4Digest = CMD4;

// SHA-1 from the system's TLS library, which picks the fastest form the CPU allows (the SHA
// instructions where present, else vector code): the AICH blocks of every shared file pass
// through it. Final finishes the digest and restarts the hasher.
class CSHA1Digest {
 public:
  CSHA1Digest();
  ~CSHA1Digest();
  CSHA1Digest(const CSHA1Digest&) = delete;
  CSHA1Digest& operator=(const CSHA1Digest&) = delete;

  void Update(std::span<const uint8_t> bytes);
  _tagStructAICHHash Final();

 private:
  EVP_MD_CTX* context_;
};

_tagUnionHash MD4Of(std::span<const uint8_t> bytes);
_tagStructAICHHash SHA1Of(std::span<const uint8_t> bytes);
// SHA-1 of the concatenated hashes of two child nodes.
_tagStructAICHHash SHA1Of(const _tagStructAICHHash& left, const _tagStructAICHHash& right);
// Checks one AICH block received from a peer against its expected hash.
bool CheckSHA1(std::span<const uint8_t> block, const _tagStructAICHHash& expected);

}  // namespace P2P::HASH
