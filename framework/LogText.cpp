#include "framework/LogText.h"

#include <cstdint>

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

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The code point of the strictly valid UTF-8 sequence at `at` and its length; length 0 when
// the bytes there are no such sequence (overlong forms and surrogates included).
struct SDecoded {
  uint32_t codePoint = 0;
  size_t length = 0;
};

SDecoded DecodeUtf8(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
  const uint8_t lead = byte(0);
  size_t length = 0;
  uint32_t codePoint = 0;
  uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return {};
  }
  if (text.size() - at < length) return {};
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(byte(i))) return {};
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return {};
  return {codePoint, length};
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
    const SDecoded decoded = DecodeUtf8(text, at);
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
