#include "framework/LogText.h"

#include <cstdint>

#include "framework/Utf8.h"

namespace OSTREL {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, uint8_t byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

void AppendCodePoint(std::string& out, uint32_t codePoint) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(codePoint >> shift) & 0x0F];
}

bool IsEscapedCodePoint(uint32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x2028 || codePoint == 0x2029;
}

void AppendAscii(std::string& out, uint8_t byte) {
  switch (byte) {
    case '\r':
      out += "\\r";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\\':
      out += "\\\\";
      return;
    default:
      break;
  }
  if (byte < 0x20 || byte == 0x7F) {
    AppendHexByte(out, byte);
    return;
  }
  out += static_cast<char>(byte);
}

}  // namespace

std::string EscapeForLog(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<uint8_t>(text[at]);
    if (byte < 0x80) {
      AppendAscii(out, byte);
      ++at;
      continue;
    }
    const SUtf8Char decoded = DecodeUtf8(text, at);
    if (decoded.length == 0) {
      AppendHexByte(out, byte);
      ++at;
      continue;
    }
    if (IsEscapedCodePoint(decoded.codePoint))
      AppendCodePoint(out, decoded.codePoint);
    else
      out.append(text.substr(at, decoded.length));
    at += decoded.length;
  }
  return out;
}

}  // namespace OSTREL
