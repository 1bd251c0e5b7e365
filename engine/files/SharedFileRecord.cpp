#include "engine/files/SharedFileRecord.h"

namespace P2P::Shared {

std::string SafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return std::string(1, '_');
  std::string safe(name);
  for (char& c : safe)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return safe;
}

bool FileNameEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace P2P::Shared
