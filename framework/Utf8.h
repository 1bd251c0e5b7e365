// Reading UTF-8 one character at a time, strictly: overlong forms, surrogates and values
// above U+10FFFF are not characters. Every text that checks or cleans UTF-8 (log lines, JSON,
// file names) reads it through here. Pure function; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace OSTREL {

struct SUtf8Char {
  uint32_t codePoint = 0;
  size_t length = 0;  // 0: the bytes at that place are not a character
};

// The character that starts at `at` (< text.size()); an ASCII byte is one of length 1.
SUtf8Char DecodeUtf8(std::string_view text, size_t at);

}  // namespace OSTREL
