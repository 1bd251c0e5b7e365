#include "engine/servers/ServerInfo.h"

namespace P2P::Remote::Server {

_tagStructServerInfo SnapshotOf(const _tagStructServerInfo& entry) {
  _tagStructServerInfo copy;
  copy.id = entry.id;
  copy.address = entry.address;
  copy.port = entry.port;
  copy.hash = entry.hash;
  copy.hostName = entry.hostName;
  copy.name = entry.name;
  copy.description = entry.description;
  copy.tcpFlags = LoadField(entry.tcpFlags);
  const _tagStructServerStatus& from = entry.status;
  _tagStructServerStatus& to = copy.status;
  to.challenge = LoadField(from.challenge);
  to.users = LoadField(from.users);
  to.files = LoadField(from.files);
  to.maxUsers = LoadField(from.maxUsers);
  to.softFiles = LoadField(from.softFiles);
  to.hardFiles = LoadField(from.hardFiles);
  to.udpFlags = LoadField(from.udpFlags);
  to.lowIdUsers = LoadField(from.lowIdUsers);
  copy.ping = LoadField(entry.ping);
  copy.lastCheckedTime = LoadField(entry.lastCheckedTime);
  copy.failedCount = LoadField(entry.failedCount);
  return copy;
}

std::string FormatAddress(uint32_t address) {
  return std::to_string(address & 0xFF) + "." + std::to_string(address >> 8 & 0xFF) + "." +
         std::to_string(address >> 16 & 0xFF) + "." + std::to_string(address >> 24 & 0xFF);
}

}  // namespace P2P::Remote::Server
