// The engine's one clock: 32-bit milliseconds that wrap like GetTickCount. Every timer and
// every timed wait of the engine reads it, so tests can swap in a manual clock and jump
// minutes ahead in no time. Thread-safe.
#pragma once

#include <cstdint>

namespace OSTREL::Process {

class CTickSource {
 public:
  // Milliseconds since an arbitrary origin; wraps after about 49.7 days.
  static uint32_t Now();

  // Tests: freeze the clock at `start`. Advance() moves it; SetManualSpeed(k) lets it also run
  // k times faster than real time (0 = frozen), for code that sleeps in small steps.
  static void UseManualClock(uint32_t start = 0);
  static void UseSystemClock();
  static bool IsManual();
  static void Advance(uint32_t milliseconds);
  static void SetManualSpeed(uint32_t factor);
};

inline uint32_t GetTickCount() { return CTickSource::Now(); }

// Sleeps for `milliseconds` measured on the tick source.
void SleepTicks(uint32_t milliseconds);

}  // namespace OSTREL::Process
