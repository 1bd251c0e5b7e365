#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>

namespace OSTREL::Platform {

uint32_t ResolveIPv4(const std::string& host) {
  if (host.empty()) return kInvalidAddress;
  const in_addr_t dotted = ::inet_addr(host.c_str());
  if (dotted != INADDR_NONE) return dotted;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0 || results == nullptr)
    return kInvalidAddress;
  uint32_t address = kInvalidAddress;
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      sockaddr_in ipv4;
      std::memcpy(&ipv4, entry->ai_addr, sizeof ipv4);
      address = ipv4.sin_addr.s_addr;
      break;
    }
  }
  ::freeaddrinfo(results);
  return address;
}

std::string FormatIPv4(uint32_t address) {
  uint8_t bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

}  // namespace OSTREL::Platform
