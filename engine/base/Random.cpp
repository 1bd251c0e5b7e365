#include "engine/base/Random.h"

#include <ctime>
#include <mutex>

#include "framework/CriticalSection.h"

namespace P2P {
namespace {

OSTREL::Process::CMutex stateLock;
uint32_t state GUARDED_BY(stateLock) = 1;

}  // namespace

void CRandom::Seed(uint32_t seed) {
  OSTREL::Process::CLock guard(stateLock);
  state = seed;
}

void CRandom::SeedWithTime() { Seed(static_cast<uint32_t>(std::time(nullptr))); }

int CRandom::Next() {
  OSTREL::Process::CLock guard(stateLock);
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & kMax);
}

}  // namespace P2P
