// Decoding of the narrow text that arrives from the network (names, descriptions, tag
// strings): strictly valid UTF-8 is kept as it is, anything else is taken as Windows-1252,
// the code page older peers and servers send. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace P2P::Protocol {

// True for well-formed UTF-8 only: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsStrictUtf8(std::string_view text);

// Windows-1252 to UTF-8. The five bytes the code page leaves undefined map to the C1 controls
// of the same value.
std::string DecodeWindows1252(std::string_view text);

// The engine's rule for incoming text: UTF-8 when strictly valid, otherwise Windows-1252.
std::string DecodeNarrowText(std::string_view text);

}  // namespace P2P::Protocol
