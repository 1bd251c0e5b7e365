#include "engine/base/IdentityKey.h"

#include <cryptopp/base64.h>
#include <cryptopp/osrng.h>
#include <cryptopp/queue.h>
#include <cryptopp/rsa.h>

#include <exception>

#include "framework/Log.h"

namespace P2P {
namespace {

constexpr int kBase64LineLength = 72;

}  // namespace

std::optional<std::string> GenerateIdentityKey() {
  try {
    CryptoPP::AutoSeededRandomPool pool;
    CryptoPP::InvertibleRSAFunction privateKey;
    privateKey.Initialize(pool, kIdentityKeyBits, CryptoPP::Integer(kIdentityKeyExponent));
    std::string text;
    CryptoPP::Base64Encoder encoder(new CryptoPP::StringSink(text), true, kBase64LineLength);
    privateKey.DEREncode(encoder);
    encoder.MessageEnd();
    return text;
  } catch (const std::exception& error) {
    OSTREL::LogError("cannot generate the identity key: ", error.what());
    return std::nullopt;
  }
}

std::optional<CryptoPP::RSA::PrivateKey> DecodeIdentityKey(std::span<const uint8_t> text) {
  if (text.empty()) return std::nullopt;
  try {
    CryptoPP::ByteQueue der;
    CryptoPP::Base64Decoder decoder(new CryptoPP::Redirector(der));
    decoder.Put(text.data(), text.size());
    decoder.MessageEnd();
    CryptoPP::RSA::PrivateKey privateKey;
    privateKey.BERDecode(der);
    return privateKey;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool IsUsableIdentityKey(std::span<const uint8_t> text) {
  const std::optional<CryptoPP::RSA::PrivateKey> privateKey = DecodeIdentityKey(text);
  if (!privateKey) return false;
  try {
    CryptoPP::RSA::PublicKey publicKey(*privateKey);
    CryptoPP::ByteQueue publicDer;
    publicKey.DEREncode(publicDer);
    return publicDer.CurrentSize() > 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace P2P
