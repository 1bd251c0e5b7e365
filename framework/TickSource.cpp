#include "framework/TickSource.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "framework/CriticalSection.h"

namespace OSTREL::Process {
namespace {

using Clock = std::chrono::steady_clock;

uint32_t SystemTicks() {
  const auto since = Clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// The manual clock: a base value plus, when a speed is set, scaled real time since the base
// was last taken.
struct ManualClock {
  CMutex lock;
  bool active = false;
  uint32_t base GUARDED_BY(lock) = 0;
  uint32_t speed GUARDED_BY(lock) = 0;
  Clock::time_point baseTime GUARDED_BY(lock);

  uint32_t NowLocked() const REQUIRES(lock) {
    if (speed == 0) return base;
    const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - baseTime);
    return base + static_cast<uint32_t>(real.count() * speed);
  }
  void Rebase() REQUIRES(lock) {
    base = NowLocked();
    baseTime = Clock::now();
  }
};

ManualClock& Manual() {
  static ManualClock clock;
  return clock;
}

std::atomic<bool> manualActive{false};

}  // namespace

uint32_t CTickSource::Now() {
  if (!manualActive.load(std::memory_order_acquire)) return SystemTicks();
  auto& clock = Manual();
  CLock guard(clock.lock);
  return clock.NowLocked();
}

void CTickSource::UseManualClock(uint32_t start) {
  auto& clock = Manual();
  CLock guard(clock.lock);
  clock.base = start;
  clock.speed = 0;
  clock.baseTime = Clock::now();
  manualActive.store(true, std::memory_order_release);
}

void CTickSource::UseSystemClock() { manualActive.store(false, std::memory_order_release); }

bool CTickSource::IsManual() { return manualActive.load(std::memory_order_acquire); }

void CTickSource::Advance(uint32_t milliseconds) {
  auto& clock = Manual();
  CLock guard(clock.lock);
  clock.Rebase();
  clock.base += milliseconds;
}

void CTickSource::SetManualSpeed(uint32_t factor) {
  auto& clock = Manual();
  CLock guard(clock.lock);
  clock.Rebase();
  clock.speed = factor;
}

void SleepTicks(uint32_t milliseconds) {
  const uint32_t start = CTickSource::Now();
  while (CTickSource::Now() - start < milliseconds) {
    // Real time and tick time agree on the system clock; on a manual clock poll in small
    // steps so that an Advance() from a test ends the sleep promptly.
    const uint32_t left = milliseconds - (CTickSource::Now() - start);
    const uint32_t step = CTickSource::IsManual() ? (left < 2 ? left : 2) : left;
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
  }
}

}  // namespace OSTREL::Process
