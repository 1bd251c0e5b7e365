#include "engine/net/TARNNetC2SUDPConnecter.h"

#include <netinet/in.h>

#include <algorithm>

#include "engine/net/ServerChecker.h"
#include "engine/protocol/Limits.h"
#include "engine/protocol/RecvUDPPacket.h"
#include "framework/SocketError.h"
#include "framework/TickSource.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Process::CTickSource;
using Remote::Server::LoadField;
using Remote::Server::StoreField;

namespace {

uint32_t AddressOf(const sockaddr_in& from) { return from.sin_addr.s_addr; }

}  // namespace

CTARNNetC2SUDPConnecter::CTARNNetC2SUDPConnecter(CTARNNetServerManager& servers,
                                                 const SServerSessionHooks& hooks,
                                                 std::function<uint32_t()> publicAddress)
    : servers_(servers),
      hooks_(hooks),
      publicAddress_(std::move(publicAddress)),
      checker_(std::make_unique<CServerChecker>(*this, servers)) {}

CTARNNetC2SUDPConnecter::~CTARNNetC2SUDPConnecter() { Stop(); }

bool CTARNNetC2SUDPConnecter::StartChecker() { return checker_->Start(); }

void CTARNNetC2SUDPConnecter::Stop() {
  checker_->Stop();
  Close(true);
}

void CTARNNetC2SUDPConnecter::WakeServerChecker() { checker_->Wake(); }

uint32_t CTARNNetC2SUDPConnecter::CheckerPasses() const { return checker_->PassCount(); }

uint32_t CTARNNetC2SUDPConnecter::GetPublicAddressOf() const {
  return publicAddress_ ? publicAddress_() : 0;
}

bool CTARNNetC2SUDPConnecter::SendDatagram(const std::optional<std::vector<uint8_t>>& datagram,
                                           uint32_t address, uint16_t port) {
  if (!datagram || !IsOpen()) return false;
  // Servers listen for datagrams four ports above their TCP port.
  return SendTo(*datagram, address, static_cast<uint16_t>(port + 4));
}

bool CTARNNetC2SUDPConnecter::SendGlobalSearch3(uint32_t address, uint16_t port,
                                                std::span<const uint8_t> body) {
  return !body.empty() && SendDatagram(BuildUdpPacket(kOpGlobalSearch3, body), address, port);
}

bool CTARNNetC2SUDPConnecter::SendGlobalSearch(uint32_t address, uint16_t port,
                                               std::span<const uint8_t> body) {
  return !body.empty() && SendDatagram(BuildUdpPacket(kOpGlobalSearch, body), address, port);
}

bool CTARNNetC2SUDPConnecter::SendStatusRequest(uint32_t address, uint16_t port) {
  const auto request = BuildStatusRequest(MakeStatusChallenge());
  ServerInfo* server = servers_.FindByAddress(address);
  if (server == nullptr) return SendDatagram(request, address, port);
  // Marked before the send: a quick answer must find the request time and the count it takes
  // back down. A failed send undoes both.
  const uint32_t previousCheck = LoadField(server->lastCheckedTime);
  StoreField(server->lastCheckedTime, CTickSource::Now());
  std::atomic_ref<uint32_t> failed(server->failedCount);
  failed.fetch_add(1);
  if (SendDatagram(request, address, port)) return true;
  failed.fetch_sub(1);
  StoreField(server->lastCheckedTime, previousCheck);
  return false;
}

bool CTARNNetC2SUDPConnecter::SendGlobalGetSources(uint32_t address, uint16_t port,
                                                   std::span<const SSourceRequestEntry> entries) {
  return !entries.empty() &&
         SendDatagram(BuildUdpPacket(kOpGlobalGetSources, SourceHashesPayload(entries)), address,
                      port);
}

bool CTARNNetC2SUDPConnecter::SendGlobalGetSources2(uint32_t address, uint16_t port,
                                                    std::span<const SSourceRequestEntry> entries) {
  return !entries.empty() &&
         SendDatagram(BuildUdpPacket(kOpGlobalGetSources2, SourceEntriesPayload(entries)), address,
                      port);
}

bool CTARNNetC2SUDPConnecter::SendRequest9C(uint32_t address, uint16_t port) {
  return SendDatagram(BuildUdpPacket(kOpRequest9C), address, port);
}

bool CTARNNetC2SUDPConnecter::SendServerListRequest(uint32_t address, uint16_t port) {
  return SendDatagram(BuildUdpPacket(kOpServerListRequest), address, port);
}

bool CTARNNetC2SUDPConnecter::SendDescriptionRequest(uint32_t address, uint16_t port) {
  return SendDatagram(BuildDescriptionRequest(MakeDescriptionChallenge()), address, port);
}

bool CTARNNetC2SUDPConnecter::SendServerListRequest2(uint32_t address, uint16_t port) {
  return SendDatagram(BuildUdpPacket(kOpServerListRequest2), address, port);
}

std::vector<CTARNNetC2SUDPConnecter::ServerInfo*> CTARNNetC2SUDPConnecter::ServersExcept(
    const ServerInfo* current) const {
  std::vector<ServerInfo*> targets;
  servers_.List().ForEach([&](ServerInfo& server) {
    if (&server != current) targets.push_back(&server);
    return true;
  });
  return targets;
}

bool CTARNNetC2SUDPConnecter::PauseBetweenServers(OSTREL::Process::CEvent* stop) {
  if (stop == nullptr) {
    OSTREL::Process::SleepTicks(kServerPause);
    return true;
  }
  return !OSTREL::Process::WaitForEvent(*stop, kServerPause);
}

void CTARNNetC2SUDPConnecter::SendGlobalSources(std::span<const SSourceRequestEntry> downloads,
                                                const ServerInfo* current,
                                                OSTREL::Process::CEvent* stop) {
  const std::vector<ServerInfo*> targets = ServersExcept(current);
  for (size_t first = 0; first < downloads.size(); first += kSourceGroupSize) {
    const auto group =
        downloads.subspan(first, std::min(kSourceGroupSize, downloads.size() - first));
    for (ServerInfo* server : targets) {
      const uint32_t udpFlags = LoadField(server->status.udpFlags);
      // A server that does not announce large files cannot know any: it is not asked.
      const std::vector<SSourceRequestEntry> taken =
          SourceEntriesFor(group, (udpFlags & kServerFlagLargeFiles) != 0);
      if (taken.empty()) continue;
      // Servers that announce it take the sizes too (0x94); the others only hashes (0x9A).
      if (udpFlags & 0x10)
        SendGlobalGetSources2(server->address, server->port, taken);
      else
        SendGlobalGetSources(server->address, server->port, taken);
      if (!PauseBetweenServers(stop)) return;
    }
  }
}

void CTARNNetC2SUDPConnecter::OnReceive(int /*error*/) {
  receiveBuffer_.resize(kMaxDatagramSize);
  size_t received = 0;
  sockaddr_in from{};
  if (!ReceiveFrom(receiveBuffer_, received, from)) {
    // A datagram socket has no session to lose: errors of earlier sends are not ours.
    return;
  }
  HandleDatagram(std::span(receiveBuffer_.data(), received), AddressOf(from), ntohs(from.sin_port));
}

void CTARNNetC2SUDPConnecter::HandleDatagram(std::span<const uint8_t> datagram,
                                             uint32_t sourceAddress, uint16_t sourcePort) {
  const SUdpSender sender{sourceAddress, ServerPortFromSourcePort(sourcePort)};
  CTARNNetRecvUDPPacket<CTARNNetC2SUDPConnecter> parser(*this, sender);
  parser.ParseDatagram(datagram);
}

size_t CTARNNetC2SUDPConnecter::Dispatch(uint8_t opcode, uint8_t /*protocol*/,
                                         std::span<const uint8_t> payload,
                                         const SUdpSender& sender) {
  return DispatchServerUdpPacket(*this, opcode, payload, sender);
}

void CTARNNetC2SUDPConnecter::OnRefused(uint32_t /*address*/, uint16_t /*port*/, uint8_t opcode,
                                        const SRefusal& refusal) {
  refusals_.Note(opcode, refusal);
}

void CTARNNetC2SUDPConnecter::OnServerStatus(uint32_t address, uint16_t /*port*/,
                                             const SServerStatusAnswer& status) {
  ServerInfo* server = servers_.FindByAddress(address);
  if (server == nullptr) return;
  uint32_t* fields[] = {&server->status.challenge, &server->status.users,
                        &server->status.files,     &server->status.maxUsers,
                        &server->status.softFiles, &server->status.hardFiles,
                        &server->status.udpFlags,  &server->status.lowIdUsers};
  for (size_t i = 0; i < 8; ++i) StoreField(*fields[i], status.values[i]);
  StoreField(server->ping, CTickSource::Now() - LoadField(server->lastCheckedTime));
  std::atomic_ref<uint32_t> failed(server->failedCount);
  uint32_t count = failed.load();
  while (count > 0 && !failed.compare_exchange_weak(count, count - 1)) {
  }
  servers_.NotifyChanged(*server);
}

void CTARNNetC2SUDPConnecter::OnGlobalFoundSources(uint32_t address, uint16_t port,
                                                   const SFoundSources& found) {
  if (!hooks_.foundSources || !servers_.Contains(address)) return;
  auto kept = SelectReachableSources(found.sources, GetPublicAddressOf(), address, port);
  if (!kept.empty()) hooks_.foundSources(found.hash, kept);
}

void CTARNNetC2SUDPConnecter::OnServerList(uint32_t address, uint16_t /*port*/,
                                           const std::vector<SAddressPort>& list) {
  if (!servers_.Contains(address)) return;
  std::vector<SServerAddress> servers;
  servers.reserve(list.size());
  for (const SAddressPort& entry : list) servers.push_back({entry.address, entry.port});
  servers_.MergeServerList(servers, Remote::Server::IsLoopbackAddress(address));
}

void CTARNNetC2SUDPConnecter::OnServerDescription(uint32_t address, uint16_t /*port*/,
                                                  const SServerDescription& description) {
  ServerInfo* server = nullptr;
  {
    OSTREL::Process::CLock guard(servers_.List().Lock());
    server = servers_.FindByAddress(address);
    if (server == nullptr) return;
    if (description.name) server->name = *description.name;
    if (description.description) server->description = *description.description;
  }
  servers_.NotifyChanged(*server);
}

void CTARNNetC2SUDPConnecter::OnGlobalSearchResult(uint32_t address, uint16_t port,
                                                   const SOfferRecord& record) {
  if (hooks_.searchResult && servers_.Contains(address)) hooks_.searchResult(record, address, port);
}

}  // namespace P2P
