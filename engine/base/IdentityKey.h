// The user's RSA identity for secure identification: generation of a 384-bit key pair with
// public exponent 17, kept as the Base64 text (72-character lines) of the DER private key,
// and the check that such a text still holds a usable key. Crypto++ exceptions stay inside.
// Any thread.
#pragma once

#include <cryptopp/rsa.h>

#include <optional>
#include <span>
#include <string>

namespace P2P {

inline constexpr unsigned kIdentityKeyBits = 384;
inline constexpr unsigned kIdentityKeyExponent = 17;

// The Base64 text of a new private key; nullopt when the library fails.
std::optional<std::string> GenerateIdentityKey();

// The private key held by `text` (Base64 of its BER encoding); nullopt when it does not decode.
std::optional<CryptoPP::RSA::PrivateKey> DecodeIdentityKey(std::span<const uint8_t> text);

// True when `text` is Base64 of a BER-encoded RSA private key whose public key encodes.
bool IsUsableIdentityKey(std::span<const uint8_t> text);

}  // namespace P2P
