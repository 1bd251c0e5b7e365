// Why a reader refused its input: which field and which limit. Readers that fail name the
// first field they could not accept; sessions log the refusal at debug level and count it, and
// tests assert on it. `field` always points at a string literal. Plain value; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace P2P::Protocol {

enum class ERefusalReason {
  kNone,
  kTruncated,    // the bytes end before the field does
  kOverLimit,    // a declared length or count passes its cap (engine/protocol/Limits.h)
  kUnknownType,  // a type byte the reader does not know
  kMalformed,    // the bytes are there but do not make a valid field
};

struct SRefusal {
  std::string_view field;
  ERefusalReason reason = ERefusalReason::kNone;
  uint64_t value = 0;  // what the input declared (a length, a count, a type), when it did
  uint64_t limit = 0;  // the cap or the bytes that were left

  explicit operator bool() const { return reason != ERefusalReason::kNone; }
};

std::string_view ReasonName(ERefusalReason reason);
// "tag blob length over limit (2000000 > 1048576)" and the like, for the log.
std::string DescribeRefusal(const SRefusal& refusal);

// Keeps the first refusal: the innermost reader fails first and knows the field best.
inline bool Refuse(SRefusal* out, std::string_view field, ERefusalReason reason, uint64_t value = 0,
                   uint64_t limit = 0) {
  if (out != nullptr && !*out) *out = SRefusal{field, reason, value, limit};
  return false;
}

}  // namespace P2P::Protocol
