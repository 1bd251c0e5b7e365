#include "service/automation/P2PConnection.h"

#include "engine/core/TARNNetConnectionManager.h"
#include "engine/net/ServerSessionHooks.h"
#include "engine/net/TARNNetClientCreditList.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/servers/ServerManager.h"
#include "framework/CriticalSection.h"
#include "service/automation/ServerAddress.h"

namespace OSTREL::COM {
namespace {

using ServerInfo = P2P::Remote::Server::_tagStructServerInfo;

// The listed server at `text`: E_INVALIDARG when malformed, E_FAIL when not listed.
HRESULT FindListed(P2P::CTARNNetServerManager& servers, const std::string& text,
                   ServerInfo*& server) {
  SServerAddressText address;
  std::string error;
  if (!ReadServerAddress(text, address, error)) return E_INVALIDARG;
  server = servers.FindByAddress(address.address);
  return server != nullptr && server->port == address.port ? S_OK : E_FAIL;
}

}  // namespace

HRESULT CP2PConnection::GetConnectionState(SConnectionState* state) {
  if (state == nullptr) return E_POINTER;
  *state = {};
  auto* connection = context_->engine->Connection();
  auto* servers = context_->engine->Servers();
  if (connection == nullptr || servers == nullptr) return E_FAIL;
  state->connected = connection->IsConnected();
  const ServerInfo* server = state->connected ? servers->GetCurrentServer() : nullptr;
  if (server == nullptr) {
    state->connected = false;
    return S_OK;
  }
  OSTREL::Process::CLock guard(servers->List().Lock());
  state->address = FormatServerAddress(server->address, server->port);
  state->name = server->name;
  state->clientId = connection->ClientId();
  state->lowId = P2P::Protocol::IsLowId(state->clientId);
  state->users = P2P::Remote::Server::LoadField(server->status.users);
  state->files = P2P::Remote::Server::LoadField(server->status.files);
  return S_OK;
}

HRESULT CP2PConnection::AddServer(const std::string& text) {
  SServerAddressText address;
  std::string error;
  if (!ReadServerAddress(text, address, error)) return E_INVALIDARG;
  // Loopback is the user's own choice here (a local test network); nothing else unusable.
  if (!P2P::Remote::Server::IsUsableServerAddress(address.address) &&
      !P2P::Remote::Server::IsLoopbackAddress(address.address))
    return E_INVALIDARG;
  auto* servers = context_->engine->Servers();
  if (servers == nullptr) return E_FAIL;
  if (servers->AddAddress(address.address, address.port) == nullptr) return S_FALSE;
  servers->SaveList();
  return S_OK;
}

HRESULT CP2PConnection::RemoveServer(const std::string& text) {
  auto* servers = context_->engine->Servers();
  if (servers == nullptr) return E_FAIL;
  ServerInfo* server = nullptr;
  if (const HRESULT hr = FindListed(*servers, text, server); hr != S_OK) return hr;
  return servers->Remove(server->address) ? S_OK : E_FAIL;
}

HRESULT CP2PConnection::ConnectServer(const std::string& text) {
  auto* servers = context_->engine->Servers();
  auto* connection = context_->engine->Connection();
  if (servers == nullptr || connection == nullptr) return E_FAIL;
  ServerInfo* server = nullptr;
  if (const HRESULT hr = FindListed(*servers, text, server); hr != S_OK) return hr;
  connection->ConnectTo(server);
  return S_OK;
}

HRESULT CP2PConnection::GetTransferTotals(STransferTotals* totals) {
  if (totals == nullptr) return E_POINTER;
  *totals = {};
  const auto* credits = context_->engine->Credits();
  if (credits == nullptr) return E_FAIL;
  totals->uploaded = credits->UploadMeter().Total();
  totals->downloaded = credits->DownloadMeter().Total();
  totals->uploadRate = credits->UploadMeter().Rate();
  totals->downloadRate = credits->DownloadMeter().Rate();
  return S_OK;
}

HRESULT CP2PConnection::GetUploadQueue(std::vector<SUploadQueueEntry>* entries) {
  if (entries == nullptr) return E_POINTER;
  entries->clear();
  const auto* service = context_->engine->UploadService();
  if (service == nullptr) return E_FAIL;
  for (const auto& client : service->Scheduler().Snapshot()) {
    SUploadQueueEntry& entry = entries->emplace_back();
    entry.userHash = client.requester.userHash.ToHex();
    entry.address = P2P::Remote::Server::FormatAddress(client.requester.address);
    entry.fileHash = client.requester.fileHash.ToHex();
    if (const auto file = service->FindFile(client.requester.fileHash))
      entry.fileName = file->GetName();
    entry.uploading = client.uploading;
    entry.rank = client.rank;
    entry.seconds = client.elapsedMs / 1000;
    entry.sentBytes = client.slotBytes;
    entry.creditModifier = client.modifier;
  }
  return S_OK;
}

}  // namespace OSTREL::COM
