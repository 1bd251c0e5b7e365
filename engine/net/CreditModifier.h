// The credit modifier that orders waiting uploads: users who gave this engine more than they
// took from it wait less. Pure function; any thread.
#pragma once

#include <cstdint>

namespace P2P::Credit {

inline constexpr double kMinCreditModifier = 1.0;
inline constexpr double kMaxCreditModifier = 10.0;

// From the bytes uploaded to a user and downloaded from it: 1 below 1 MiB downloaded, else
// the lesser of 2·downloaded/uploaded (10 with nothing uploaded) and sqrt(downloaded MiB + 2),
// kept within [1, 10].
double ComputeCreditModifier(uint64_t uploaded, uint64_t downloaded);

}  // namespace P2P::Credit
