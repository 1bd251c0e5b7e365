#include "engine/hashing/Digest.h"

namespace P2P::HASH {

_tagStructAICHHash CSHA1Digest::Final() {
  _tagStructAICHHash hash;
  static_assert(_tagStructAICHHash::kSize == CryptoPP::SHA1::DIGESTSIZE);
  sha1_.Final(hash.bytes.data());
  return hash;
}

_tagUnionHash MD4Of(std::span<const uint8_t> bytes) {
  CMD4Digest digest;
  digest.Update(bytes);
  return digest.Final();
}

_tagStructAICHHash SHA1Of(std::span<const uint8_t> bytes) {
  CSHA1Digest digest;
  digest.Update(bytes);
  return digest.Final();
}

_tagStructAICHHash SHA1Of(const _tagStructAICHHash& left, const _tagStructAICHHash& right) {
  CSHA1Digest digest;
  digest.Update(left.bytes);
  digest.Update(right.bytes);
  return digest.Final();
}

bool CheckSHA1(std::span<const uint8_t> block, const _tagStructAICHHash& expected) {
  return SHA1Of(block) == expected;
}

}  // namespace P2P::HASH
