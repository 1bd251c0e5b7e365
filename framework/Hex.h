// Upper-case hexadecimal text for fixed-size binary values (hashes in data files and on the
// API). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace OSTREL::Util {

// Two upper-case digits per byte, high nibble first.
std::string BytesToHex(std::span<const uint8_t> bytes);

// Fills `out` from exactly 2 * out.size() hex digits of either case; false (and `out`
// unspecified) otherwise.
bool HexToBytes(std::string_view text, std::span<uint8_t> out);

bool IsAllZero(std::span<const uint8_t> bytes);

}  // namespace OSTREL::Util
