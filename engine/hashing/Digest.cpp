#include "engine/hashing/Digest.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdlib>

namespace P2P::HASH {
namespace {

static_assert(_tagStructAICHHash::kSize == SHA_DIGEST_LENGTH);

// Fetched once: a fetch per digest would cost more than hashing a tree node.
const EVP_MD* Sha1() {
  static EVP_MD* const sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  return sha1;
}

}  // namespace

// The library fails only without memory, where the process cannot go on either.
CSHA1Digest::CSHA1Digest() : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr || Sha1() == nullptr || EVP_DigestInit_ex(context_, Sha1(), nullptr) != 1)
    std::abort();
}

CSHA1Digest::~CSHA1Digest() { EVP_MD_CTX_free(context_); }

void CSHA1Digest::Update(std::span<const uint8_t> bytes) {
  if (!bytes.empty() && EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1) std::abort();
}

_tagStructAICHHash CSHA1Digest::Final() {
  _tagStructAICHHash hash;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_, hash.bytes.data(), &length) != 1 ||
      EVP_DigestInit_ex(context_, Sha1(), nullptr) != 1)
    std::abort();
  return hash;
}

_tagUnionHash MD4Of(std::span<const uint8_t> bytes) {
  CMD4Digest digest;
  digest.Update(bytes);
  return digest.Final();
}

_tagStructAICHHash SHA1Of(std::span<const uint8_t> bytes) {
  _tagStructAICHHash hash;
  SHA1(bytes.data(), bytes.size(), hash.bytes.data());
  return hash;
}

_tagStructAICHHash SHA1Of(const _tagStructAICHHash& left, const _tagStructAICHHash& right) {
  uint8_t both[2 * _tagStructAICHHash::kSize];
  std::copy(left.bytes.begin(), left.bytes.end(), both);
  std::copy(right.bytes.begin(), right.bytes.end(), both + _tagStructAICHHash::kSize);
  return SHA1Of(both);
}

bool CheckSHA1(std::span<const uint8_t> block, const _tagStructAICHHash& expected) {
  return SHA1Of(block) == expected;
}

}  // namespace P2P::HASH
