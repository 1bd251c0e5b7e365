// Comparing protocol and file-format names without regard to case: ASCII letters only, so
// UTF-8 text is never folded. Any thread.
#pragma once

#include <string_view>

namespace OSTREL {

constexpr char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  return true;
}

}  // namespace OSTREL
