#include "engine/net/TARNNetRateLimiter.h"

#include <algorithm>

#include "framework/CriticalSection.h"
#include "framework/TickSource.h"

namespace P2P {
namespace {

constexpr uint64_t kMilli = 1000;
// Refills are computed over at most this long, which keeps the products far from overflow.
constexpr uint32_t kMaxRefillMs = 10000;
constexpr uint64_t kMaxRate = uint64_t{1} << 40;

}  // namespace

CTARNNetRateLimiter::CTARNNetRateLimiter(uint64_t bytesPerSecond)
    : lastTick_(OSTREL::Process::CTickSource::Now()) {
  // Rates beyond any link keep every product below in range.
  rate_ = std::min<uint64_t>(bytesPerSecond, kMaxRate);
  tokens_ = CapacityLocked();
}

int64_t CTARNNetRateLimiter::CapacityLocked() const {
  return static_cast<int64_t>(std::max(rate_ * kBurstMs / 1000, kMinBurstBytes) * kMilli);
}

void CTARNNetRateLimiter::RefillLocked() {
  const uint32_t now = OSTREL::Process::CTickSource::Now();
  const uint32_t elapsed = std::min(now - lastTick_, kMaxRefillMs);
  lastTick_ = now;
  // bytes/s × ms = thousandths of a byte.
  tokens_ = std::min(tokens_ + static_cast<int64_t>(rate_ * elapsed), CapacityLocked());
}

void CTARNNetRateLimiter::SetRate(uint64_t bytesPerSecond) {
  OSTREL::Process::CLock guard(lock_);
  RefillLocked();
  rate_ = std::min<uint64_t>(bytesPerSecond, kMaxRate);
  tokens_ = std::min(tokens_, CapacityLocked());
}

uint64_t CTARNNetRateLimiter::Rate() const {
  OSTREL::Process::CLock guard(lock_);
  return rate_;
}

uint32_t CTARNNetRateLimiter::Take(uint32_t wanted) {
  OSTREL::Process::CLock guard(lock_);
  if (rate_ == 0) return wanted;
  RefillLocked();
  if (tokens_ <= 0) return 0;
  const uint32_t granted =
      static_cast<uint32_t>(std::min<uint64_t>(wanted, static_cast<uint64_t>(tokens_) / kMilli));
  tokens_ -= static_cast<int64_t>(uint64_t{granted} * kMilli);
  return granted;
}

bool CTARNNetRateLimiter::TakeWhole(uint32_t bytes) {
  OSTREL::Process::CLock guard(lock_);
  if (rate_ == 0) return true;
  RefillLocked();
  if (tokens_ < 0) return false;
  tokens_ -= static_cast<int64_t>(uint64_t{bytes} * kMilli);
  return true;
}

uint32_t CTARNNetRateLimiter::Spend(uint32_t bytes) {
  OSTREL::Process::CLock guard(lock_);
  if (rate_ == 0) return 0;
  RefillLocked();
  tokens_ -= static_cast<int64_t>(uint64_t{bytes} * kMilli);
  if (tokens_ >= 0) return 0;
  const uint64_t debt = static_cast<uint64_t>(-tokens_);
  return static_cast<uint32_t>(std::min<uint64_t>((debt + rate_ - 1) / rate_, 0xFFFFFFFFu));
}

void CTARNNetRateLimiter::GiveBack(uint32_t bytes) {
  OSTREL::Process::CLock guard(lock_);
  if (rate_ == 0) return;
  tokens_ = std::min(tokens_ + static_cast<int64_t>(uint64_t{bytes} * kMilli), CapacityLocked());
}

uint32_t CTARNNetRateLimiter::MillisecondsUntil(uint32_t bytes) {
  OSTREL::Process::CLock guard(lock_);
  if (rate_ == 0) return 0;
  RefillLocked();
  const int64_t needed = std::min(static_cast<int64_t>(uint64_t{bytes} * kMilli), CapacityLocked());
  if (tokens_ >= needed) return 0;
  // Rounded up: waking early would find the bucket still short.
  const uint64_t shortBy = static_cast<uint64_t>(needed - tokens_);
  return static_cast<uint32_t>(std::min<uint64_t>((shortBy + rate_ - 1) / rate_, 0xFFFFFFFFu));
}

}  // namespace P2P
