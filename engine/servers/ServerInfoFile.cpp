#include "engine/servers/ServerInfoFile.h"

#include <string>

#include "framework/AsciiCase.h"

namespace P2P::Remote::Server {
namespace {

using OSTREL::File::CXmlElement;

bool Is(std::string_view name, std::string_view field) {
  return OSTREL::EqualsIgnoreCase(name, field);
}

void SetNumber(uint32_t& field, std::string_view text) {
  if (const auto number = OSTREL::File::ParseUInt32(text)) field = *number;
}

void SetText(std::string& field, std::string_view text) {
  if (!text.empty()) field = text;
}

// Unknown names are ignored, so files written by later versions still load.
void ApplyField(_tagStructServerInfo& entry, std::string_view name, std::string_view text) {
  _tagStructServerStatus& status = entry.status;
  if (Is(name, "IP")) {
    SetNumber(entry.address, text);
  } else if (Is(name, "Port")) {
    if (const auto port = OSTREL::File::ParseUInt16(text)) entry.port = *port;
  } else if (Is(name, "Hash")) {
    if (const auto hash = _tagUnionHash::FromHex(text)) entry.hash = *hash;
  } else if (Is(name, "HostName")) {
    SetText(entry.hostName, text);
  } else if (Is(name, "Name")) {
    SetText(entry.name, text);
  } else if (Is(name, "Description")) {
    SetText(entry.description, text);
  } else if (Is(name, "Ping")) {
    SetNumber(entry.ping, text);
  } else if (Is(name, "LastCheckedTime")) {
    SetNumber(entry.lastCheckedTime, text);
  } else if (Is(name, "FailedCount")) {
    SetNumber(entry.failedCount, text);
  } else if (Is(name, "TCPFlag")) {
    SetNumber(entry.tcpFlags, text);
  } else if (Is(name, "UDPFlag")) {
    SetNumber(status.udpFlags, text);
  } else if (Is(name, "Files")) {
    SetNumber(status.files, text);
  } else if (Is(name, "Users")) {
    SetNumber(status.users, text);
  } else if (Is(name, "MaxUsers")) {
    SetNumber(status.maxUsers, text);
  } else if (Is(name, "SoftFiles")) {
    SetNumber(status.softFiles, text);
  } else if (Is(name, "HardFiles")) {
    SetNumber(status.hardFiles, text);
  } else if (Is(name, "LowIdUsers")) {
    SetNumber(status.lowIdUsers, text);
  }
}

void WriteEntry(const _tagStructServerInfo& entry, CXmlElement list) {
  CXmlElement server = list.AppendElement("ServerInfo");
  const _tagStructServerStatus& status = entry.status;
  server.AppendNumber("IP", entry.address);
  server.AppendNumber("Port", entry.port);
  server.AppendText("Hash", entry.hash.ToHex());
  server.AppendText("HostName", entry.hostName);
  server.AppendText("Name", entry.name);
  server.AppendText("Description", entry.description);
  server.AppendNumber("Ping", entry.ping);
  server.AppendNumber("LastCheckedTime", entry.lastCheckedTime);
  server.AppendNumber("FailedCount", entry.failedCount);
  server.AppendNumber("TCPFlag", entry.tcpFlags);
  server.AppendNumber("UDPFlag", status.udpFlags);
  server.AppendNumber("Files", status.files);
  server.AppendNumber("Users", status.users);
  server.AppendNumber("MaxUsers", status.maxUsers);
  server.AppendNumber("SoftFiles", status.softFiles);
  server.AppendNumber("HardFiles", status.hardFiles);
  server.AppendNumber("LowIdUsers", status.lowIdUsers);
}

}  // namespace

std::vector<_tagStructServerInfo> ReadServerInfoDocument(
    const OSTREL::File::CXmlDocument& document) {
  std::vector<_tagStructServerInfo> entries;
  const CXmlElement root = document.Root();
  if (!root || !root.NameIs(kServerInfoRoot)) return entries;
  for (const CXmlElement& element : root.Children("ServerInfo")) {
    _tagStructServerInfo entry;
    element.ForEachField(
        [&entry](std::string_view name, std::string_view text) { ApplyField(entry, name, text); });
    entries.push_back(std::move(entry));
  }
  return entries;
}

void WriteServerInfoDocument(std::span<const _tagStructServerInfo> entries,
                             OSTREL::File::CXmlDocument& document) {
  for (const _tagStructServerInfo& entry : entries)
    if (entry.failedCount <= kMaxFailedCount) WriteEntry(entry, document.Root());
}

}  // namespace P2P::Remote::Server
