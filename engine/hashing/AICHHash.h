// The 20-byte SHA-1 value of an AICH tree node. Raw bytes on the wire; 40 upper-case hex digits
// in data files; base32 (RFC 4648 alphabet, no padding) in links. Value type; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace P2P::HASH {

struct _tagStructAICHHash {
  static constexpr size_t kSize = 20;
  std::array<uint8_t, kSize> bytes{};

  auto operator<=>(const _tagStructAICHHash&) const = default;

  bool IsZero() const;
  std::string ToHex() const;
  static std::optional<_tagStructAICHHash> FromHex(std::string_view text);
  // 32 upper-case base32 characters.
  std::string ToBase32() const;
  static std::optional<_tagStructAICHHash> FromBase32(std::string_view text);
};

}  // namespace P2P::HASH
