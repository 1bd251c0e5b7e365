// An elapsed-time timer on the engine's tick source. The unsigned difference of two ticks
// keeps it right across the wrap of the counter. Not synchronised: one owner thread, or
// guard it with the owner's lock.
#pragma once

#include <cstdint>

#include "framework/TickSource.h"

namespace OSTREL::Process {

template <uint32_t N>
class CElapsedTimeT {
 public:
  static constexpr uint32_t kNever = 0xFFFFFFFFu;

  CElapsedTimeT() : start_(CTickSource::Now()) {}

  void Reset() {
    if (duration_ != kNever) start_ = CTickSource::Now();
  }
  bool IsElapsed() const { return duration_ != kNever && CTickSource::Now() - start_ >= duration_; }
  void SetDuration(uint32_t milliseconds) { duration_ = milliseconds; }
  uint32_t GetDuration() const { return duration_; }
  uint32_t GetStart() const { return start_; }

 private:
  uint32_t duration_ = N;
  uint32_t start_;
};

}  // namespace OSTREL::Process
