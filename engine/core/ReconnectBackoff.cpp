#include "engine/core/ReconnectBackoff.h"

#include <algorithm>

namespace P2P {

uint32_t CReconnectBackoff::DelayAfter(uint32_t failures) {
  if (failures <= 1) return kFirstDelay;
  // 2^19 seconds is far beyond the cap, and the shift stays defined.
  const uint64_t delay = uint64_t{kFirstDelay} << std::min<uint32_t>(failures - 1, 19);
  return static_cast<uint32_t>(std::min<uint64_t>(delay, kMaxDelay));
}

uint32_t CReconnectBackoff::NoteFailure() { return DelayAfter(failures_.fetch_add(1) + 1); }

uint32_t CReconnectBackoff::NoteLoss() {
  failures_.store(0);
  return kFirstDelay;
}

uint32_t CReconnectBackoff::NoteSuccess() { return failures_.exchange(0); }

}  // namespace P2P
