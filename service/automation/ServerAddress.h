// A server address as users type it, "IP:PORT" with a dotted IPv4 address, read and written.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace OSTREL::COM {

struct SServerAddressText {
  uint32_t address = 0;  // wire order
  uint16_t port = 0;
};

// False with a one-line `error` naming the part at fault.
bool ReadServerAddress(const std::string& text, SServerAddressText& out, std::string& error);
// The host part alone (a dotted IPv4 address); false when malformed.
bool ReadServerHost(const std::string& host, uint32_t& address);
std::string FormatServerAddress(uint32_t address, uint16_t port);

}  // namespace OSTREL::COM
