// Bytes moved in one direction since counting started, and the rate over the last whole
// seconds of the engine's tick source. Data comes in blocks of 180 KiB, so a rate over one
// second swings between nothing and twice the truth; over ten it holds steady. Every rate the
// engine shows (each download's, the totals) is measured so, and they agree. Any thread: one
// lock guards the counts.
#pragma once

#include <array>
#include <cstdint>

#include "framework/CriticalSection.h"

namespace P2P {

class CTransferMeter {
 public:
  static constexpr uint32_t kWindowSeconds = 10;

  void Add(uint64_t bytes);
  uint64_t Total() const;
  // Bytes per second over the kWindowSeconds whole seconds before the current one (over the
  // whole seconds since the first byte, while there are fewer).
  uint64_t Rate() const;

 private:
  // Moves the current second to `second`, emptying the buckets of the seconds passed.
  void AdvanceLocked(uint32_t second) const REQUIRES(lock_);

  mutable OSTREL::Process::CMutex lock_;
  uint64_t total_ GUARDED_BY(lock_) = 0;
  mutable uint32_t second_ GUARDED_BY(lock_) = 0;
  mutable bool started_ GUARDED_BY(lock_) = false;
  uint32_t firstSecond_ GUARDED_BY(lock_) = 0;  // of the first byte counted
  mutable std::array<uint64_t, kWindowSeconds + 1> buckets_ GUARDED_BY(lock_){};
};

}  // namespace P2P
