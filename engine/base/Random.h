// The process-wide pseudo-random generator of the engine: a linear congruential generator
// with values 0 to 32767, seeded with the time in seconds at start. Not for anything secret
// (keys come from the operating system's generator). Thread-safe.
#pragma once

#include <cstdint>

namespace P2P {

class CRandom {
 public:
  static constexpr int kMax = 0x7FFF;

  static void Seed(uint32_t seed);
  // Seeds with the current time in seconds.
  static void SeedWithTime();
  // The next value, 0 to kMax.
  static int Next();
};

}  // namespace P2P
