#include "engine/net/CreditModifier.h"

#include <algorithm>
#include <cmath>

namespace P2P::Credit {

double ComputeCreditModifier(uint64_t uploaded, uint64_t downloaded) {
  constexpr double kMiB = 1024.0 * 1024.0;
  if (static_cast<double>(downloaded) < kMiB) return kMinCreditModifier;
  const double down = static_cast<double>(downloaded);
  const double ratio =
      uploaded == 0 ? kMaxCreditModifier : 2.0 * down / static_cast<double>(uploaded);
  const double root = std::sqrt(down / kMiB + 2.0);
  return std::clamp(std::min(ratio, root), kMinCreditModifier, kMaxCreditModifier);
}

}  // namespace P2P::Credit
