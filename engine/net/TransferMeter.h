// Bytes moved in one direction since the engine started, and the rate over the last few whole
// seconds of the engine's tick source. Any thread: one lock guards the counts.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "framework/CriticalSection.h"

namespace P2P {

class CTransferMeter {
 public:
  static constexpr uint32_t kWindowSeconds = 4;

  void Add(uint64_t bytes);
  uint64_t Total() const;
  // Bytes per second over the kWindowSeconds whole seconds before the current one.
  uint64_t Rate() const;

 private:
  // Moves the current second to `second`, emptying the buckets of the seconds passed.
  void AdvanceLocked(uint32_t second) const REQUIRES(lock_);

  mutable OSTREL::Process::CMutex lock_;
  uint64_t total_ GUARDED_BY(lock_) = 0;
  mutable uint32_t second_ GUARDED_BY(lock_) = 0;
  mutable bool started_ GUARDED_BY(lock_) = false;
  mutable std::array<uint64_t, kWindowSeconds + 1> buckets_ GUARDED_BY(lock_){};
};

}  // namespace P2P
