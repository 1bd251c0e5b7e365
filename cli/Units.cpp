#include "cli/Units.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace tarn::cli {
namespace {

constexpr std::array<const char*, 6> kUnits{"B", "KiB", "MiB", "GiB", "TiB", "PiB"};

int UnitExponent(char letter) {
  switch (std::tolower(static_cast<unsigned char>(letter))) {
    case 'k': return 1;
    case 'm': return 2;
    case 'g': return 3;
    case 't': return 4;
    default: return -1;
  }
}

}  // namespace

std::string FormatSize(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  // Rounded before the unit is chosen, so 1023.96 KiB reads "1.0 MiB", not "1024.0 KiB".
  while (unit + 1 < kUnits.size() && std::round(value * 10.0) / 10.0 >= 1024.0) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string FormatSpeed(uint64_t bytesPerSecond) { return FormatSize(bytesPerSecond) + "/s"; }

std::optional<uint64_t> ParseSize(std::string_view text) {
  size_t position = 0;
  uint64_t whole = 0;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
    const uint64_t digit = static_cast<uint64_t>(text[position] - '0');
    if (whole > (UINT64_MAX - digit) / 10) return std::nullopt;
    whole = whole * 10 + digit;
    ++position;
  }
  if (position == 0) return std::nullopt;
  // Up to three decimals, for "1.5G".
  uint64_t fraction = 0, scale = 1;
  if (position < text.size() && text[position] == '.') {
    ++position;
    const size_t first = position;
    while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
      if (scale < 1000) {
        fraction = fraction * 10 + static_cast<uint64_t>(text[position] - '0');
        scale *= 10;
      }
      ++position;
    }
    if (position == first) return std::nullopt;
  }
  int exponent = 0;
  if (position < text.size() && UnitExponent(text[position]) > 0) {
    exponent = UnitExponent(text[position]);
    ++position;
    if (position < text.size() && (text[position] == 'i' || text[position] == 'I')) ++position;
  }
  if (position < text.size() && (text[position] == 'B' || text[position] == 'b')) ++position;
  if (position != text.size()) return std::nullopt;
  if (exponent == 0 && fraction != 0) return std::nullopt;  // no fractions of a byte

  uint64_t multiplier = 1;
  for (int i = 0; i < exponent; ++i) multiplier *= 1024;
  if (whole > UINT64_MAX / multiplier) return std::nullopt;
  const uint64_t result = whole * multiplier;
  const uint64_t extra = fraction * multiplier / scale;
  if (result > UINT64_MAX - extra) return std::nullopt;
  return result + extra;
}

}  // namespace tarn::cli
