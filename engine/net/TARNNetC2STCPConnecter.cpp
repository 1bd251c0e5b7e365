#include "engine/net/TARNNetC2STCPConnecter.h"

#include <cctype>

#include "engine/protocol/RecvTCPPacket.h"
#include "framework/Log.h"
#include "framework/LogText.h"
#include "framework/SocketError.h"

namespace P2P {

using namespace Protocol;
using OSTREL::Network::Socket::kWsaEMsgSize;
using Remote::Server::LoadField;
using Remote::Server::StoreField;

namespace {

// A server message starting with these letters (any case) tells us to go away.
constexpr std::string_view kErrorPrefix = "ERROR";

bool StartsWithError(const std::string& text) {
  if (text.size() < kErrorPrefix.size()) return false;
  for (size_t i = 0; i < kErrorPrefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != kErrorPrefix[i]) return false;
  return true;
}

}  // namespace

CTARNNetC2STCPConnecter::CTARNNetC2STCPConnecter(_tagStructClientConfig& config,
                                                 CTARNNetServerManager& servers,
                                                 ITARNNetP2PConnectionEventAdvisor& advisor,
                                                 const SServerSessionHooks& hooks)
    : config_(config), servers_(servers), advisor_(advisor), hooks_(hooks) {}

CTARNNetC2STCPConnecter::~CTARNNetC2STCPConnecter() { Close(true); }

bool CTARNNetC2STCPConnecter::Connect(ServerInfo* server) {
  if (server == nullptr) return false;
  config_.clientId = 0;
  loggedIn_.store(false);
  current_.store(server);
  servers_.SetCurrentServer(server);
  sessionOpen_.store(true);
  advisor_.Connecting(server);
  OSTREL::LogDebug("connecting to server ", Remote::Server::FormatAddress(server->address), ":",
                  server->port);
  if (CEventSocketImpl::Connect(server->address, server->port)) return true;
  EndSession(LastError());
  return false;
}

bool CTARNNetC2STCPConnecter::IsConnected() const {
  return loggedIn_.load() && sessionOpen_.load();
}

uint32_t CTARNNetC2STCPConnecter::GetClientId() const { return config_.clientId; }

uint32_t CTARNNetC2STCPConnecter::ServerTcpFlags() const {
  const ServerInfo* server = current_.load();
  return server ? LoadField(server->tcpFlags) : 0;
}

bool CTARNNetC2STCPConnecter::SendPacket(const std::optional<std::vector<uint8_t>>& packet) {
  if (!packet || !sessionOpen_.load()) return false;
  return Send(*packet);
}

bool CTARNNetC2STCPConnecter::SendLogin(const _tagStructClientConfig& config) {
  return SendPacket(BuildLoginRequest(config));
}

bool CTARNNetC2STCPConnecter::SendGetServerList() {
  return SendPacket(BuildTcpPacket(kOpGetServerList));
}

bool CTARNNetC2STCPConnecter::SendOfferFiles() {
  if (!hooks_.offerFiles) return false;
  const std::vector<uint8_t> payload = hooks_.offerFiles(ServerSupportsCompactTags());
  if (payload.empty()) return false;
  return SendPacket(BuildTcpPacket(kOpOfferFiles, payload));
}

bool CTARNNetC2STCPConnecter::SendSearch(std::span<const uint8_t> searchBody) {
  if (searchBody.empty()) return false;
  return SendPacket(BuildTcpPacket(kOpSearchRequest, searchBody));
}

bool CTARNNetC2STCPConnecter::SendGetSources(std::span<const SSourceRequestEntry> entries) {
  const std::vector<SSourceRequestEntry> taken = SourceEntriesFor(entries, ServerTakesLargeFiles());
  if (taken.empty()) return false;
  return SendPacket(BuildTcpPacket(kOpGetSources, SourceEntriesPayload(taken)));
}

bool CTARNNetC2STCPConnecter::SendGetSources(const _tagUnionHash& hash, uint64_t size) {
  const SSourceRequestEntry entry{hash, size};
  return SendGetSources(std::span(&entry, 1));
}

bool CTARNNetC2STCPConnecter::SendQueryMoreResults() {
  return SendPacket(BuildTcpPacket(kOpQueryMoreResults));
}

void CTARNNetC2STCPConnecter::OnConnect(int /*error*/) {
  // The id in the login is always 0: the server assigns it.
  _tagStructClientConfig login = config_;
  login.clientId = 0;
  if (!SendLogin(login)) EndSession(LastError());
}

void CTARNNetC2STCPConnecter::OnClose(int /*error*/) { EndSession(0); }

void CTARNNetC2STCPConnecter::OnError(int error) { EndSession(error); }

void CTARNNetC2STCPConnecter::EndSession(int error) {
  Close(true);
  config_.clientId = 0;
  loggedIn_.store(false);
  if (!sessionOpen_.exchange(false)) return;
  OSTREL::LogDebug("server session ended (error ", error, ")");
  advisor_.Disconnected(current_.load(), error);
}

size_t CTARNNetC2STCPConnecter::OnReceiveData(std::span<const uint8_t> pending) {
  CTARNNetRecvTCPPacket<CTARNNetC2STCPConnecter> parser(*this);
  const SParseResult result = parser.ParseAll(pending);
  if (result.refused > 0) OnRefused(result.refusedOpcode, result.refusal);
  // A length no server sends: the stream cannot be trusted any further.
  if (result.last == ETcpParse::kFramingError) {
    EndSession(kWsaEMsgSize);
    return pending.size();
  }
  return result.consumed;
}

bool CTARNNetC2STCPConnecter::Dispatch(uint8_t opcode, uint8_t protocol,
                                       std::span<const uint8_t> payload) {
  if (!sessionOpen_.load()) return false;
  return DispatchServerTcpPacket(*this, opcode, protocol, payload);
}

void CTARNNetC2STCPConnecter::OnRefused(uint8_t opcode, const SRefusal& refusal) {
  refusals_.Note(opcode, refusal);
}

void CTARNNetC2STCPConnecter::OnServerMessage(const std::string& text) {
  OSTREL::LogInfo("server message: ", OSTREL::EscapeForLog(text));
  if (StartsWithError(text)) EndSession(0);
}

void CTARNNetC2STCPConnecter::OnIdChange(uint32_t id, uint32_t tcpFlags) {
  ServerInfo* server = current_.load();
  config_.clientId = id;
  if (server) StoreField(server->tcpFlags, tcpFlags);
  if (!IsLowId(id)) publicAddress_.store(id);
  loggedIn_.store(true);
  OSTREL::LogInfo("logged in with ", IsLowId(id) ? "low" : "high", " id ", id);
  if (hooks_.hasFilesToOffer && hooks_.hasFilesToOffer()) SendOfferFiles();
  SendGetServerList();
  advisor_.Connected(server);
}

void CTARNNetC2STCPConnecter::OnSearchResult(const SOfferRecord& record) {
  const ServerInfo* server = current_.load();
  if (hooks_.searchResult && server) hooks_.searchResult(record, server->address, server->port);
}

void CTARNNetC2STCPConnecter::OnSearchResultEnd(bool more) {
  const bool stopped = hooks_.searchStopped && hooks_.searchStopped();
  if (more && !stopped) SendQueryMoreResults();
}

void CTARNNetC2STCPConnecter::OnFoundSources(const SFoundSources& found) {
  const ServerInfo* server = current_.load();
  if (!hooks_.foundSources || !server) return;
  auto kept =
      SelectReachableSources(found.sources, GetPublicAddress(), server->address, server->port);
  if (!kept.empty()) hooks_.foundSources(found.hash, kept);
}

void CTARNNetC2STCPConnecter::OnServerStatus(uint32_t users, uint32_t files) {
  servers_.ApplyTcpStatus(users, files);
}

void CTARNNetC2STCPConnecter::OnServerIdent(const SServerIdent& ident) {
  servers_.ApplyIdentification(ident.address, ident.hash, ident.hostName, ident.name,
                               ident.description);
}

void CTARNNetC2STCPConnecter::OnServerList(const std::vector<SAddressPort>& list) {
  std::vector<SServerAddress> servers;
  servers.reserve(list.size());
  for (const SAddressPort& entry : list) servers.push_back({entry.address, entry.port});
  // Loopback entries are taken only from a server that is itself on loopback (local tests).
  const ServerInfo* current = current_.load();
  servers_.MergeServerList(servers,
                           current != nullptr && Remote::Server::IsLoopbackAddress(current->address));
}

void CTARNNetC2STCPConnecter::OnCallbackRequested(uint32_t address, uint16_t port) {
  if (hooks_.callbackRequested) hooks_.callbackRequested(address, port);
}

}  // namespace P2P
