// The ServerInfo.dat data file: one "ServerInfo" element per server under "ServerInfoList",
// each field a child element in a fixed order. Reading also takes fields given as attributes
// and names in any case. Pure functions over documents; any thread.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "engine/servers/ServerInfo.h"
#include "framework/XmlDocument.h"

namespace P2P::Remote::Server {

inline constexpr std::string_view kServerInfoFileName = "ServerInfo.dat";
inline constexpr std::string_view kServerInfoRoot = "ServerInfoList";

// Every entry of the document, in file order, with fields as stored (failed counts untouched);
// none when the root is not a server list.
std::vector<_tagStructServerInfo> ReadServerInfoDocument(const OSTREL::File::CXmlDocument& document);

// Appends the entries with a failed count of 10 or less to a new server-list document.
void WriteServerInfoDocument(std::span<const _tagStructServerInfo> entries,
                             OSTREL::File::CXmlDocument& document);

}  // namespace P2P::Remote::Server
