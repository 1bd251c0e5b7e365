// Sizes and speeds for people: binary units with one decimal ("12.3 MiB", "640 KiB/s"), and
// the size arguments users type ("700", "700k", "1.5G"). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::cli {

std::string FormatSize(uint64_t bytes);
std::string FormatSpeed(uint64_t bytesPerSecond);

// A whole number of bytes with an optional unit letter k, M, G or T (binary, any case) and
// an optional "B" or "iB"; nothing when the text is not such a size or does not fit 64 bits.
std::optional<uint64_t> ParseSize(std::string_view text);

}  // namespace tarn::cli
