// Test fixture: installs the manual tick source for the life of the object, so a test can
// move the engine's clock by minutes at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "framework/TickSource.h"

namespace tarn::test {

class ManualClock {
 public:
  explicit ManualClock(uint32_t start = 1000) { OSTREL::Process::CTickSource::UseManualClock(start); }
  ~ManualClock() { OSTREL::Process::CTickSource::UseSystemClock(); }
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  void Advance(uint32_t milliseconds) { OSTREL::Process::CTickSource::Advance(milliseconds); }
  // Advances from another thread a moment later, for code that must be waiting first.
  void AdvanceSoon(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Advance(milliseconds);
  }
  uint32_t Now() const { return OSTREL::Process::CTickSource::Now(); }
};

}  // namespace tarn::test
