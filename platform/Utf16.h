// Conversions between the programs' UTF-8 strings and the UTF-16LE byte form that registry
// files use for hex(1), hex(2) and hex(7) values. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace OSTREL::Platform {

// UTF-8 to UTF-16LE bytes, no terminator. Bytes that are not valid UTF-8 become U+FFFD.
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text);

// UTF-16LE bytes to UTF-8. Unpaired surrogates become U+FFFD; an odd last byte is ignored.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes);

// The text with every byte sequence that is not valid UTF-8 replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view text);

}  // namespace OSTREL::Platform
