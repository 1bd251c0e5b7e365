#include "engine/library/SharedFileRecord.h"

#include "engine/protocol/Limits.h"
#include "framework/Utf8.h"

namespace P2P::Shared {

namespace {

using Protocol::kMaxKeptExtension;

// The longest prefix of `text` (valid UTF-8) of at most `maxBytes` that ends on a character.
std::string_view CutAtCharacter(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

// `base` + `extension` within `maxBytes`, shortening the base first.
std::string FitName(std::string_view base, std::string_view extension, size_t maxBytes) {
  if (extension.size() > kMaxKeptExtension || extension.size() >= maxBytes) {
    const std::string whole = std::string(base) + std::string(extension);
    return std::string(CutAtCharacter(whole, maxBytes));
  }
  return std::string(CutAtCharacter(base, maxBytes - extension.size())) + std::string(extension);
}

}  // namespace

std::string SafeFileName(std::string_view name, size_t maxBytes) {
  std::string safe;
  safe.reserve(name.size());
  for (size_t at = 0; at < name.size();) {
    const size_t length = OSTREL::DecodeUtf8(name, at).length;
    const unsigned char c = static_cast<unsigned char>(name[at]);
    if (length == 0 || c < 0x20 || c == 0x7F || c == '/' || c == '\\') {
      safe.push_back('_');
      at += length == 0 ? 1 : length;
      continue;
    }
    safe.append(name.substr(at, length));
    at += length;
  }
  if (safe.size() > maxBytes) {
    const auto [base, extension] = SplitExtension(safe);
    safe = FitName(base, extension, maxBytes);
  }
  if (safe.empty() || safe == "." || safe == "..") return std::string(1, '_');
  return safe;
}

std::pair<std::string, std::string> SplitExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {std::string(name), std::string()};
  return {std::string(name.substr(0, dot)), std::string(name.substr(dot))};
}

std::string NumberedFileName(std::string_view name, uint32_t counter) {
  const auto [base, extension] = SplitExtension(name);
  const std::string number = "(" + std::to_string(counter) + ")";
  const size_t room =
      Protocol::kMaxFileNameBytes > number.size() ? Protocol::kMaxFileNameBytes - number.size() : 0;
  if (extension.size() > kMaxKeptExtension || extension.size() >= room)
    return std::string(CutAtCharacter(base, room)) + number;
  return std::string(CutAtCharacter(base, room - extension.size())) + number + extension;
}

bool FileNameEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace P2P::Shared
