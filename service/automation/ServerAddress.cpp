#include "service/automation/ServerAddress.h"

#include <arpa/inet.h>

#include <charconv>

#include "engine/servers/ServerInfo.h"

namespace OSTREL::COM {

bool ReadServerHost(const std::string& host, uint32_t& address) {
  in_addr in{};
  if (inet_pton(AF_INET, host.c_str(), &in) != 1) return false;
  address = in.s_addr;
  return true;
}

bool ReadServerAddress(const std::string& text, SServerAddressText& out, std::string& error) {
  out = {};
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) {
    error = "bad server: expected IP:PORT or an ed2k server link";
    return false;
  }
  const std::string port = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, code] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (code != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
    error = "bad server: port: not a number from 1 to 65535";
    return false;
  }
  if (!ReadServerHost(text.substr(0, colon), out.address)) {
    error = "bad server: address: not a dotted IPv4 address";
    return false;
  }
  out.port = static_cast<uint16_t>(value);
  return true;
}

std::string FormatServerAddress(uint32_t address, uint16_t port) {
  return P2P::Remote::Server::FormatAddress(address) + ":" + std::to_string(port);
}

}  // namespace OSTREL::COM
