#include "cli/TerminalText.h"

#include <array>
#include <cstdint>
#include <utility>

namespace tarn::cli {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

struct SCodePoint {
  char32_t value = kInvalid;  // kInvalid: a byte that starts no valid UTF-8 sequence
  size_t length = 1;
};

// The character at `at`: strict UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
SCodePoint Decode(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return {};
  }
  if (at + length > text.size()) return {};
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {};
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {};
  return {value, length};
}

bool IsInRanges(char32_t c, std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
  for (const auto& [first, last] : ranges)
    if (c >= first && c <= last) return true;
  return false;
}

// What a terminal acts on: controls, and the marks that reorder the text after them.
bool IsUnsafe(char32_t c) {
  return c == kInvalid || c < 0x20 ||
         IsInRanges(c, {{0x7F, 0x9F}, {0x200E, 0x200F}, {0x202A, 0x202E}, {0x2066, 0x2069}});
}

size_t CellsOf(char32_t c) {
  if (IsInRanges(c, {{0x0300, 0x036F}, {0x200B, 0x200D}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}}))
    return 0;
  if (IsInRanges(c, {{0x1100, 0x115F},
                     {0x2E80, 0x303E},
                     {0x3041, 0x33FF},
                     {0x3400, 0x4DBF},
                     {0x4E00, 0x9FFF},
                     {0xA000, 0xA4CF},
                     {0xAC00, 0xD7A3},
                     {0xF900, 0xFAFF},
                     {0xFE30, 0xFE4F},
                     {0xFF00, 0xFF60},
                     {0xFFE0, 0xFFE6},
                     {0x1F300, 0x1F64F},
                     {0x1F900, 0x1F9FF},
                     {0x20000, 0x3FFFD}}))
    return 2;
  return 1;
}

}  // namespace

std::string ForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const SCodePoint c = Decode(text, at);
    if (IsUnsafe(c.value)) {
      out += '?';
    } else {
      out.append(text.substr(at, c.length));
    }
    at += c.length;
  }
  return out;
}

size_t CellWidth(std::string_view text) {
  size_t cells = 0;
  for (size_t at = 0; at < text.size();) {
    const SCodePoint c = Decode(text, at);
    cells += CellsOf(c.value);
    at += c.length;
  }
  return cells;
}

std::string FitName(std::string_view text, size_t width) {
  const std::string safe = ForTerminal(text);
  const size_t cells = CellWidth(safe);
  if (cells <= width) return safe + std::string(width - cells, ' ');
  // Keep what fits in width - 1 cells, then the cut mark and blanks for a wide character
  // that would have straddled the edge.
  std::string out;
  size_t used = 0;
  for (size_t at = 0; at < safe.size();) {
    const SCodePoint c = Decode(safe, at);
    const size_t need = CellsOf(c.value);
    if (width == 0 || used + need > width - 1) break;
    out.append(safe, at, c.length);
    used += need;
    at += c.length;
  }
  if (width == 0) return {};
  return out + "~" + std::string(width - 1 - used, ' ');
}

}  // namespace tarn::cli
