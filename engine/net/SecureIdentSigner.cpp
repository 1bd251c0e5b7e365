#include "engine/net/SecureIdentSigner.h"

#include <cryptopp/base64.h>
#include <cryptopp/osrng.h>
#include <cryptopp/queue.h>
#include <cryptopp/rsa.h>
#include <cryptopp/sha.h>

#include <exception>

#include "engine/base/IdentityKey.h"
#include "engine/base/Random.h"
#include "engine/protocol/Limits.h"
#include "framework/CriticalSection.h"

namespace P2P::Credit {
namespace {

using Scheme = CryptoPP::RSASS<CryptoPP::PKCS1v15, CryptoPP::SHA1>;

}  // namespace

struct CSecureIdentSigner::SKey {
  Scheme::Signer signer;
};

CSecureIdentSigner::CSecureIdentSigner(std::unique_ptr<SKey> key, std::vector<uint8_t> publicKey)
    : key_(std::move(key)), publicKey_(std::move(publicKey)) {}
CSecureIdentSigner::~CSecureIdentSigner() = default;

std::unique_ptr<CSecureIdentSigner> CSecureIdentSigner::FromPrivateKeyText(
    std::span<const uint8_t> text) {
  const std::optional<CryptoPP::RSA::PrivateKey> privateKey = DecodeIdentityKey(text);
  if (!privateKey) return nullptr;
  try {
    CryptoPP::RSA::PublicKey publicKey(*privateKey);
    CryptoPP::ByteQueue publicDer;
    publicKey.DEREncode(publicDer);
    const size_t size = publicDer.CurrentSize();
    if (size == 0 || size > Protocol::kMaxSecureIdentKeyLength) return nullptr;
    std::vector<uint8_t> publicBytes(size);
    publicDer.Get(publicBytes.data(), size);
    auto key = std::make_unique<SKey>(SKey{Scheme::Signer(*privateKey)});
    return std::unique_ptr<CSecureIdentSigner>(
        new CSecureIdentSigner(std::move(key), std::move(publicBytes)));
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::optional<std::vector<uint8_t>> CSecureIdentSigner::Sign(
    std::span<const uint8_t> message) const {
  try {
    OSTREL::Process::CLock guard(signLock_);
    CryptoPP::AutoSeededRandomPool pool;
    std::vector<uint8_t> signature(key_->signer.MaxSignatureLength());
    const size_t size =
        key_->signer.SignMessage(pool, message.data(), message.size(), signature.data());
    signature.resize(size);
    return signature;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool IsUsablePublicKey(std::span<const uint8_t> publicKey) {
  try {
    CryptoPP::ArraySource source(publicKey.data(), publicKey.size(), true);
    CryptoPP::RSA::PublicKey key;
    key.BERDecode(source);
    return key.Validate(CryptoPP::NullRNG(), 0);
  } catch (const std::exception&) {
    return false;
  }
}

bool VerifySecureIdentSignature(std::span<const uint8_t> publicKey,
                                std::span<const uint8_t> message,
                                std::span<const uint8_t> signature) {
  try {
    CryptoPP::ArraySource source(publicKey.data(), publicKey.size(), true);
    Scheme::Verifier verifier(source);
    if (signature.size() != verifier.SignatureLength()) return false;
    return verifier.VerifyMessage(message.data(), message.size(), signature.data(),
                                  signature.size());
  } catch (const std::exception&) {
    return false;
  }
}

uint32_t NewSecureIdentChallenge() {
  try {
    for (;;) {
      uint8_t bytes[4];
      CryptoPP::OS_GenerateRandomBlock(false, bytes, sizeof bytes);
      const uint32_t challenge =
          bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
      if (challenge != 0) return challenge;
    }
  } catch (const std::exception&) {
    return static_cast<uint32_t>(CRandom::Next()) + 1;
  }
}

}  // namespace P2P::Credit
