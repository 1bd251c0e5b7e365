#include "engine/hashing/AICHHash.h"

#include "framework/Hex.h"

namespace P2P::HASH {
namespace {

constexpr char kBase32Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr size_t kBase32Length = 32;  // 160 bits / 5

int Base32Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= '2' && c <= '7') return c - '2' + 26;
  return -1;
}

}  // namespace

bool _tagStructAICHHash::IsZero() const { return OSTREL::Util::IsAllZero(bytes); }

std::string _tagStructAICHHash::ToHex() const { return OSTREL::Util::BytesToHex(bytes); }

std::optional<_tagStructAICHHash> _tagStructAICHHash::FromHex(std::string_view text) {
  _tagStructAICHHash hash;
  if (!OSTREL::Util::HexToBytes(text, hash.bytes)) return std::nullopt;
  return hash;
}

std::string _tagStructAICHHash::ToBase32() const {
  std::string text;
  text.reserve(kBase32Length);
  uint32_t buffer = 0;
  int bits = 0;
  for (uint8_t b : bytes) {
    buffer = (buffer << 8) | b;
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      text.push_back(kBase32Digits[(buffer >> bits) & 0x1F]);
    }
  }
  return text;  // 160 bits divide into 5-bit groups exactly
}

std::optional<_tagStructAICHHash> _tagStructAICHHash::FromBase32(std::string_view text) {
  if (text.size() != kBase32Length) return std::nullopt;
  _tagStructAICHHash hash;
  uint32_t buffer = 0;
  int bits = 0;
  size_t out = 0;
  for (char c : text) {
    const int value = Base32Value(c);
    if (value < 0) return std::nullopt;
    buffer = (buffer << 5) | static_cast<uint32_t>(value);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      hash.bytes[out++] = static_cast<uint8_t>(buffer >> bits);
    }
  }
  return hash;
}

}  // namespace P2P::HASH
