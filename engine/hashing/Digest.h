// MD4 and SHA-1 digests as the engine uses them: incremental hashers for the one-pass file
// hashing and one-shot helpers for blocks held in memory. Each object belongs to one thread.
#pragma once

#include <cryptopp/sha.h>

#include <cstdint>
#include <span>

#include "engine/base/Hash.h"
#include "engine/base/MD4.h"
#include "engine/hashing/AICHHash.h"

namespace P2P::HASH {

// Final finishes the digest and restarts the hasher.
using CMD4Digest = CMD4;

// Crypto++'s Update and Final never throw for SHA-1, so no handler is needed.

class CSHA1Digest {
 public:
  void Update(std::span<const uint8_t> bytes) { sha1_.Update(bytes.data(), bytes.size()); }
  _tagStructAICHHash Final();

 private:
  CryptoPP::SHA1 sha1_;
};

_tagUnionHash MD4Of(std::span<const uint8_t> bytes);
_tagStructAICHHash SHA1Of(std::span<const uint8_t> bytes);
// SHA-1 of the concatenated hashes of two child nodes.
_tagStructAICHHash SHA1Of(const _tagStructAICHHash& left, const _tagStructAICHHash& right);
// Checks one AICH block received from a peer against its expected hash.
bool CheckSHA1(std::span<const uint8_t> block, const _tagStructAICHHash& expected);

}  // namespace P2P::HASH
