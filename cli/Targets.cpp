#include "cli/Targets.h"

#include <arpa/inet.h>

#include <charconv>

namespace tarn::cli {

std::optional<int32_t> ReadKey(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool ReadDownloadTarget(const std::string& text, SDownloadTarget& target, std::string& error) {
  target = {};
  if (const auto key = ReadKey(text)) {
    target.resultKey = *key;
    return true;
  }
  P2P::Protocol::SEd2kLink link;
  P2P::Protocol::SLinkError linkError;
  if (!P2P::Protocol::ReadEd2kLink(text, link, linkError)) {
    error = "bad link: " + linkError.Message();
    return false;
  }
  if (link.kind != P2P::Protocol::ELinkKind::kFile) {
    error = "bad link: kind: a server link names no file (use `tarn servers add`)";
    return false;
  }
  target.link = std::move(link);
  return true;
}

bool ReadServerTarget(const std::string& text, SServerTarget& target, std::string& error) {
  target = {};
  if (text.rfind("ed2k:", 0) == 0) {
    P2P::Protocol::SEd2kLink link;
    P2P::Protocol::SLinkError linkError;
    if (!P2P::Protocol::ReadEd2kLink(text, link, linkError)) {
      error = "bad link: " + linkError.Message();
      return false;
    }
    if (link.kind != P2P::Protocol::ELinkKind::kServer) {
      error = "bad link: kind: not a server link";
      return false;
    }
    target.host = link.host;
    target.port = link.port;
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
      error = "bad server: expected IP:PORT or an ed2k server link";
      return false;
    }
    target.host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, code] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (code != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
      error = "bad server: port: not a number from 1 to 65535";
      return false;
    }
    target.port = static_cast<uint16_t>(value);
  }
  in_addr address{};
  if (inet_pton(AF_INET, target.host.c_str(), &address) != 1) {
    error = "bad server: address: not a dotted IPv4 address";
    return false;
  }
  return true;
}

std::string FormatAddress(int32_t address) {
  in_addr in{};
  in.s_addr = static_cast<uint32_t>(address);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &in, text, sizeof text);
  return text;
}

}  // namespace tarn::cli
