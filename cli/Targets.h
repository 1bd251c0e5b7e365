// What the user names on the command line: a download by link or key, a server by address
// or link. The links go through the one link reader, so a bad link is refused with the field
// at fault and why. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/protocol/Ed2kLink.h"

namespace tarn::cli {

// A download to start: a file link, or the key of a search result.
struct SDownloadTarget {
  std::optional<P2P::Protocol::SEd2kLink> link;
  int32_t resultKey = 0;
};

// A server to add: host (dotted IPv4) and port.
struct SServerTarget {
  std::string host;
  uint16_t port = 0;
  // As the daemon takes it: "IP:PORT".
  std::string Text() const { return host + ":" + std::to_string(port); }
};

// Both answer false with a one-line `error` ("link: size: above the largest file", ...).
bool ReadDownloadTarget(const std::string& text, SDownloadTarget& target, std::string& error);
bool ReadServerTarget(const std::string& text, SServerTarget& target, std::string& error);

// A key as typed: decimal digits only, 1 to 2^31-1.
std::optional<int32_t> ReadKey(const std::string& text);

// A dotted IPv4 address of the API's servers (network byte order in an int32).
std::string FormatAddress(int32_t address);

}  // namespace tarn::cli
