// The 16-byte MD4 digest that names files and users on the eD2K network. Raw bytes on the
// wire and in memory; 32 upper-case hex digits (high nibble first) in XML and on the API.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace P2P {

struct _tagUnionHash {
  static constexpr size_t kSize = 16;
  std::array<uint8_t, kSize> bytes{};

  auto operator<=>(const _tagUnionHash&) const = default;

  bool IsZero() const;
  // 32 upper-case hexadecimal digits.
  std::string ToHex() const;
  // Accepts exactly 32 hex digits in either case.
  static std::optional<_tagUnionHash> FromHex(std::string_view text);
};

}  // namespace P2P
