// Escapes any bytes for the log: the result holds no control character (C0, DEL or a C1 byte
// outside a longer UTF-8 sequence), and text without controls or backslashes comes back as is.
#include <string>
#include <string_view>

#include "framework/LogText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string escaped = OSTREL::EscapeForLog(text);
  bool plain = true;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '\\') plain = false;
  }
  for (char c : escaped) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) __builtin_trap();
  }
  if (plain && escaped != text) __builtin_trap();
  return 0;
}
