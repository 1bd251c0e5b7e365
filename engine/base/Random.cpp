#include "engine/base/Random.h"

#include <ctime>
#include <mutex>

namespace P2P {
namespace {

std::mutex stateLock;
uint32_t state = 1;

}  // namespace

void CRandom::Seed(uint32_t seed) {
  std::lock_guard guard(stateLock);
  state = seed;
}

void CRandom::SeedWithTime() { Seed(static_cast<uint32_t>(std::time(nullptr))); }

int CRandom::Next() {
  std::lock_guard guard(stateLock);
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & kMax);
}

}  // namespace P2P
