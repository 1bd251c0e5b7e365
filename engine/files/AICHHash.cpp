#include "engine/files/AICHHash.h"

namespace P2P::HASH {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase32Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr size_t kBase32Length = 32;  // 160 bits / 5

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base32Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= '2' && c <= '7') return c - '2' + 26;
  return -1;
}

}  // namespace

bool _tagStructAICHHash::IsZero() const {
  for (uint8_t b : bytes)
    if (b != 0) return false;
  return true;
}

std::string _tagStructAICHHash::ToHex() const {
  std::string text;
  text.reserve(kSize * 2);
  for (uint8_t b : bytes) {
    text.push_back(kHexDigits[b >> 4]);
    text.push_back(kHexDigits[b & 0x0F]);
  }
  return text;
}

std::optional<_tagStructAICHHash> _tagStructAICHHash::FromHex(std::string_view text) {
  if (text.size() != kSize * 2) return std::nullopt;
  _tagStructAICHHash hash;
  for (size_t i = 0; i < kSize; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    hash.bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
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
