// The reader of the links users paste or click: file links in the eD2K form
// ("ed2k://|file|NAME|SIZE|HASH|/" with the optional "h=" AICH root, "p=" part hashes and a
// "|sources,IP:PORT,...|/" tail) and in the tarn/p2p form ("tarn://|NAME|HASH|SIZE|"), and
// server links ("ed2k://|server|HOST|PORT|/", "ed2k://|serverlist|URL|/"). Pure: text in, a
// record or a refusal naming the field out. Any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/Hash.h"

namespace P2P::Protocol {

enum class ELinkKind { kFile, kServer, kServerList };

struct SLinkSource {
  uint32_t address = 0;  // IPv4, network byte order
  uint16_t port = 0;
};

struct SEd2kLink {
  ELinkKind kind = ELinkKind::kFile;
  // File links.
  std::string name;  // percent-decoded, UTF-8
  uint64_t size = 0;
  _tagUnionHash hash;
  std::optional<std::array<uint8_t, 20>> aichRoot;  // "h=", SHA-1 root of the AICH tree
  std::vector<_tagUnionHash> partHashes;            // "p=", empty when the link has none
  std::vector<SLinkSource> sources;
  // Server links: host and port; server-list links: the list's address.
  std::string host;
  uint16_t port = 0;
  std::string url;
};

// Why a link was refused: the field at fault and what is wrong with it.
struct SLinkError {
  std::string field;
  std::string reason;
  std::string Message() const { return field + ": " + reason; }
};

bool ReadEd2kLink(std::string_view text, SEd2kLink& link, SLinkError& error);

// The "ed2k://|file|...|/" form of a file link, name percent-encoded where it must be.
std::string FormatEd2kFileLink(const SEd2kLink& link);

}  // namespace P2P::Protocol
