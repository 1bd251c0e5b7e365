#include "engine/base/Hash.h"

#include "framework/Hex.h"

namespace P2P {

bool _tagUnionHash::IsZero() const { return OSTREL::Util::IsAllZero(bytes); }

std::string _tagUnionHash::ToHex() const { return OSTREL::Util::BytesToHex(bytes); }

std::optional<_tagUnionHash> _tagUnionHash::FromHex(std::string_view text) {
  _tagUnionHash hash;
  if (!OSTREL::Util::HexToBytes(text, hash.bytes)) return std::nullopt;
  return hash;
}

}  // namespace P2P
