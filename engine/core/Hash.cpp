#include "engine/core/Hash.h"

namespace P2P {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool _tagUnionHash::IsZero() const {
  for (uint8_t b : bytes)
    if (b != 0) return false;
  return true;
}

std::string _tagUnionHash::ToHex() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kSize * 2);
  for (uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

std::optional<_tagUnionHash> _tagUnionHash::FromHex(std::string_view text) {
  if (text.size() != kSize * 2) return std::nullopt;
  _tagUnionHash hash;
  for (size_t i = 0; i < kSize; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    hash.bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return hash;
}

}  // namespace P2P
