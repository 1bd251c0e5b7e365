// A token bucket that holds every peer session together to one rate ("Max Upload" or "Max
// Download"): a session takes an allowance before it sends (or reads) and gets at most what the
// bucket holds; the bucket refills at the rate on the engine's tick source and holds at most a
// quarter second of it, so an idle spell does not allow a burst. Rate 0 = unlimited. Any
// thread: one lock guards the bucket.
#pragma once

#include <cstdint>
#include <mutex>

#include "framework/CriticalSection.h"

namespace P2P {

class CTARNNetRateLimiter {
 public:
  static constexpr uint32_t kBurstMs = 250;
  // The bucket always holds at least one full-size TCP segment.
  static constexpr uint64_t kMinBurstBytes = 1460;

  explicit CTARNNetRateLimiter(uint64_t bytesPerSecond = 0);
  // Bytes per second; 0 = unlimited. A change keeps what the bucket holds, up to the new burst.
  void SetRate(uint64_t bytesPerSecond);
  void SetRateKiB(uint32_t kibPerSecond) { SetRate(uint64_t{kibPerSecond} * 1024); }
  uint64_t Rate() const;

  // Takes up to `wanted` bytes of allowance; returns what was granted (`wanted` when unlimited).
  uint32_t Take(uint32_t wanted);
  // Takes `bytes` at once when the bucket is not in debt, leaving it in debt when it held less:
  // for units that cannot be split (a whole block), so that slow rates still move them. The
  // debt is paid off before anyone gets more. False (nothing taken) while in debt.
  bool TakeWhole(uint32_t bytes);
  // Counts `bytes` already moved (received data), going into debt as needed; returns the
  // milliseconds until the debt is paid, 0 when there is none.
  uint32_t Spend(uint32_t bytes);
  // Returns allowance a caller took but did not use (a send that wrote less).
  void GiveBack(uint32_t bytes);
  // Milliseconds until `bytes` (at most one burst) are available; 0 when they are now.
  // MillisecondsUntil(1) is when TakeWhole can succeed again.
  uint32_t MillisecondsUntil(uint32_t bytes);

 private:
  void RefillLocked() REQUIRES(lock_);
  int64_t CapacityLocked() const REQUIRES(lock_);

  mutable OSTREL::Process::CMutex lock_;
  uint64_t rate_ GUARDED_BY(lock_) = 0;
  // In thousandths of a byte, so slow refills do not round away; < 0: debt.
  int64_t tokens_ GUARDED_BY(lock_) = 0;
  uint32_t lastTick_ GUARDED_BY(lock_) = 0;
};

}  // namespace P2P
