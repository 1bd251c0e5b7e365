// The file sizes that round trips of sizes and offsets check: the largest file of the 32-bit
// forms and one byte more, both sides of 32 bits, and the largest file any client takes.
// Constants only; any thread.
#pragma once

#include <array>
#include <cstdint>

namespace tarn::test {

inline constexpr std::array<uint64_t, 6> kSizesAround32Bits = {
    4290048000, 4290048001, 0xFFFFFFFF, uint64_t{1} << 32, (uint64_t{1} << 32) + 1,
    uint64_t{256} << 30};

// One byte above the largest file: refused wherever a size is read.
inline constexpr uint64_t kAboveLargestFile = (uint64_t{256} << 30) + 1;

}  // namespace tarn::test
