#include "engine/protocol/Refusal.h"

namespace P2P::Protocol {

std::string_view ReasonName(ERefusalReason reason) {
  switch (reason) {
    case ERefusalReason::kNone:
      return "accepted";
    case ERefusalReason::kTruncated:
      return "truncated";
    case ERefusalReason::kOverLimit:
      return "over limit";
    case ERefusalReason::kUnknownType:
      return "unknown type";
    case ERefusalReason::kMalformed:
      return "malformed";
  }
  return "refused";
}

std::string DescribeRefusal(const SRefusal& refusal) {
  std::string text(refusal.field.empty() ? std::string_view("input") : refusal.field);
  text += ' ';
  text += ReasonName(refusal.reason);
  switch (refusal.reason) {
    case ERefusalReason::kOverLimit:
      text += " (" + std::to_string(refusal.value) + " > " + std::to_string(refusal.limit) + ")";
      break;
    case ERefusalReason::kTruncated:
      text += " (" + std::to_string(refusal.value) + " bytes wanted, " +
              std::to_string(refusal.limit) + " left)";
      break;
    case ERefusalReason::kUnknownType:
      text += " (" + std::to_string(refusal.value) + ")";
      break;
    default:
      break;
  }
  return text;
}

}  // namespace P2P::Protocol
