#include "engine/servers/ServerManager.h"

#include <vector>

#include "engine/protocol/Limits.h"
#include "engine/servers/ServerInfoFile.h"
#include "framework/CriticalSection.h"
#include "platform/XmlFile.h"

namespace P2P {

using Remote::Server::_tagStructServerInfo;
using Remote::Server::kMaxFailedCount;
using Remote::Server::kServerInfoFileName;
using Remote::Server::kServerInfoRoot;

bool CTARNNetServerManager::Start(const std::filesystem::path& configFolder) {
  {
    OSTREL::Process::CLock guard(settingsLock_);
    configFolder_ = configFolder;
  }
  const bool loaded = Load(configFolder);
  list_.Sort();
  return loaded;
}

bool CTARNNetServerManager::Stop() {
  list_.Sort();
  const auto folder = FolderCopy();
  return !folder.empty() && Save(folder);
}

bool CTARNNetServerManager::Load(const std::filesystem::path& configFolder) {
  OSTREL::File::CXmlDocument document;
  if (!OSTREL::File::LoadXmlFile(document, configFolder / kServerInfoFileName)) return false;
  AddLoaded(document);
  return document.Root().NameIs(kServerInfoRoot);
}

bool CTARNNetServerManager::LoadText(std::string_view xml) {
  OSTREL::File::CXmlDocument document;
  if (!document.LoadText(xml)) return false;
  AddLoaded(document);
  return document.Root().NameIs(kServerInfoRoot);
}

size_t CTARNNetServerManager::AddLoaded(const OSTREL::File::CXmlDocument& document) {
  // Each Add takes the list lock itself, so the added events are raised without it held.
  size_t added = 0;
  for (_tagStructServerInfo& entry : Remote::Server::ReadServerInfoDocument(document)) {
    if (entry.failedCount > kMaxFailedCount) continue;
    entry.failedCount = 0;
    if (Add(entry)) ++added;
  }
  list_.Sort();
  return added;
}

bool CTARNNetServerManager::Save(const std::filesystem::path& configFolder) const {
  OSTREL::Process::CLock saveGuard(saveLock_);
  std::vector<_tagStructServerInfo> snapshot;
  list_.ForEach([&snapshot](_tagStructServerInfo& entry) {
    snapshot.push_back(Remote::Server::SnapshotOf(entry));
    return true;
  });
  OSTREL::File::CXmlDocument document(kServerInfoRoot);
  Remote::Server::WriteServerInfoDocument(snapshot, document);
  return OSTREL::File::SaveXmlFile(document, configFolder / kServerInfoFileName);
}

_tagStructServerInfo* CTARNNetServerManager::Add(const _tagStructServerInfo& entry) {
  _tagStructServerInfo* added = list_.Add(entry);
  if (added) FanOut(&ITARNNetP2PServerEventHandler::OnServerAdded, *added);
  return added;
}

_tagStructServerInfo* CTARNNetServerManager::AddAddress(uint32_t address, uint16_t port) {
  _tagStructServerInfo entry;
  entry.address = address;
  entry.port = port;
  return Add(entry);
}

bool CTARNNetServerManager::Remove(uint32_t address) {
  const _tagStructServerInfo* current = GetCurrentServer();
  if (current != nullptr && current->address == address) return false;
  if (!list_.Remove(address)) return false;
  SaveList();
  return true;
}

_tagStructServerInfo* CTARNNetServerManager::GetNextServer() const {
  const _tagStructServerInfo* current = GetCurrentServer();
  if (!current) return list_.First();
  const uint32_t currentFiles = Remote::Server::LoadField(current->status.files);
  _tagStructServerInfo* next = nullptr;
  list_.ForEach([&](_tagStructServerInfo& entry) {
    if (Remote::Server::LoadField(entry.status.files) >= currentFiles) return true;
    next = &entry;
    return false;
  });
  return next;
}

_tagStructServerInfo* CTARNNetServerManager::GetFirstServer() {
  if (list_.Count() == 0) {
    SServerAddress fallback;
    ServerListRequest request;
    {
      OSTREL::Process::CLock guard(settingsLock_);
      fallback = defaultServer_;
      request = serverListRequest_;
    }
    if (fallback.address != 0) {
      // Listed before asking: answers from unlisted senders are dropped, and on loopback
      // the answer can arrive before the request call has even returned.
      AddAddress(fallback.address, fallback.port);
      if (request) request(fallback.address, fallback.port);
    }
  }
  return list_.First();
}

_tagStructServerInfo* CTARNNetServerManager::GetNextOrFirstServer() {
  if (_tagStructServerInfo* next = GetNextServer()) return next;
  return GetFirstServer();
}

void CTARNNetServerManager::SetDefaultServer(uint32_t address, uint16_t port) {
  OSTREL::Process::CLock guard(settingsLock_);
  defaultServer_ = {address, port};
}

void CTARNNetServerManager::SetServerListRequest(ServerListRequest request) {
  OSTREL::Process::CLock guard(settingsLock_);
  serverListRequest_ = std::move(request);
}

void CTARNNetServerManager::SetCheckerWake(std::function<void()> wake) {
  OSTREL::Process::CLock guard(settingsLock_);
  checkerWake_ = std::move(wake);
}

size_t CTARNNetServerManager::MergeServerList(std::span<const SServerAddress> servers,
                                              bool fromLoopback) {
  size_t added = 0;
  for (const SServerAddress& server : servers) {
    const bool loopbackAllowed = fromLoopback && Remote::Server::IsLoopbackAddress(server.address);
    if (!loopbackAllowed && !Remote::Server::IsUsableServerAddress(server.address)) continue;
    if (list_.Count() >= Protocol::kMaxKnownServers) break;
    if (AddAddress(server.address, server.port)) ++added;
  }
  if (added == 0) return 0;
  const auto folder = FolderCopy();
  if (!folder.empty()) Save(folder);
  std::function<void()> wake;
  {
    OSTREL::Process::CLock guard(settingsLock_);
    wake = checkerWake_;
  }
  if (wake) wake();
  return added;
}

bool CTARNNetServerManager::ApplyIdentification(uint32_t address, const _tagUnionHash& hash,
                                                std::optional<std::string> hostName,
                                                std::optional<std::string> name,
                                                std::optional<std::string> description) {
  _tagStructServerInfo* server = nullptr;
  {
    OSTREL::Process::CLock guard(list_.Lock());
    server = list_.FindByAddress(address);
    if (!server) return false;
    server->hash = hash;
    server->hostName = hostName && !hostName->empty() ? std::move(*hostName)
                                                      : Remote::Server::FormatAddress(address);
    if (name) server->name = std::move(*name);
    if (description) server->description = std::move(*description);
  }
  NotifyChanged(*server);
  return true;
}

bool CTARNNetServerManager::ApplyTcpStatus(uint32_t users, uint32_t files) {
  _tagStructServerInfo* server = GetCurrentServer();
  if (!server) return false;
  Remote::Server::StoreField(server->status.users, users);
  Remote::Server::StoreField(server->status.files, files);
  NotifyChanged(*server);
  return true;
}

void CTARNNetServerManager::NotifyChanged(const _tagStructServerInfo& server) {
  FanOut(&ITARNNetP2PServerEventHandler::OnServerChanged, server);
}

bool CTARNNetServerManager::SaveList() const {
  const auto folder = FolderCopy();
  return !folder.empty() && Save(folder);
}

std::filesystem::path CTARNNetServerManager::FolderCopy() const {
  OSTREL::Process::CLock guard(settingsLock_);
  return configFolder_;
}

}  // namespace P2P
