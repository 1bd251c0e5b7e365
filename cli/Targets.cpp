#include "cli/Targets.h"

#include <arpa/inet.h>

#include "service/automation/ServerAddress.h"

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

namespace {

// An ed2k link of `kind`; `wrongKind` says why a link of another kind does not do.
bool ReadLinkOfKind(const std::string& text, P2P::Protocol::ELinkKind kind, const char* wrongKind,
                    P2P::Protocol::SEd2kLink& link, std::string& error) {
  P2P::Protocol::SLinkError linkError;
  if (!P2P::Protocol::ReadEd2kLink(text, link, linkError)) {
    error = "bad link: " + linkError.Message();
    return false;
  }
  if (link.kind != kind) {
    error = std::string("bad link: kind: ") + wrongKind;
    return false;
  }
  return true;
}

}  // namespace

bool ReadDownloadTarget(const std::string& text, SDownloadTarget& target, std::string& error) {
  target = {};
  if (const auto key = ReadKey(text)) {
    target.resultKey = *key;
    return true;
  }
  P2P::Protocol::SEd2kLink link;
  if (!ReadLinkOfKind(text, P2P::Protocol::ELinkKind::kFile,
                      "a server link names no file (use `tarn servers add`)", link, error))
    return false;
  target.link = std::move(link);
  return true;
}

bool ReadServerTarget(const std::string& text, SServerTarget& target, std::string& error) {
  target = {};
  if (text.rfind("ed2k:", 0) != 0) {
    OSTREL::COM::SServerAddressText address;
    if (!OSTREL::COM::ReadServerAddress(text, address, error)) return false;
    target.host = text.substr(0, text.rfind(':'));
    target.port = address.port;
    return true;
  }
  P2P::Protocol::SEd2kLink link;
  if (!ReadLinkOfKind(text, P2P::Protocol::ELinkKind::kServer, "not a server link", link, error))
    return false;
  uint32_t address = 0;
  if (!OSTREL::COM::ReadServerHost(link.host, address)) {
    error = "bad server: address: not a dotted IPv4 address";
    return false;
  }
  target.host = link.host;
  target.port = link.port;
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
