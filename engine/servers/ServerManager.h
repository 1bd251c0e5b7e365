// Owner of the known-server list: loads and saves ServerInfo.dat, chooses the server to connect
// to, merges the lists servers send, applies their identification and status, and tells the
// registered handlers about added and changed servers. Any thread may call; the list carries
// its own lock and the hooks their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/base/EventAdvisor.h"
#include "engine/servers/ServerEventHandler.h"
#include "engine/servers/ServerInfoList.h"
#include "framework/CriticalSection.h"

namespace OSTREL::File {
class CXmlDocument;
}

namespace P2P {

struct SServerAddress {
  uint32_t address = 0;  // wire order
  uint16_t port = 0;
};

class CTARNNetServerManager : public ITARNNetP2PEventAdvisorT<ITARNNetP2PServerEventHandler> {
 public:
  using ServerInfo = Remote::Server::_tagStructServerInfo;
  // Sends the UDP server-list request to a server (filled in by the server UDP session).
  using ServerListRequest = std::function<void(uint32_t address, uint16_t port)>;

  // Loads ServerInfo.dat from `configFolder` and sorts the list; later saves go there too.
  bool Start(const std::filesystem::path& configFolder);
  // Sorts and saves to the folder given to Start().
  bool Stop();

  // A missing, unreadable or foreign file leaves the list as it was and returns false. Entries
  // that failed more than 10 times are dropped, the others start with no failures.
  bool Load(const std::filesystem::path& configFolder);
  bool LoadText(std::string_view xml);
  // Writes the list atomically; entries that failed more than 10 times are left out.
  bool Save(const std::filesystem::path& configFolder) const;

  // nullptr when the address is already listed. Raises the server-added event.
  ServerInfo* Add(const ServerInfo& entry);
  ServerInfo* AddAddress(uint32_t address, uint16_t port);
  // Unlists a server and saves the list; false when it is unknown or the current server
  // (leave it first).
  bool Remove(uint32_t address);

  ServerInfo* FindByAddress(uint32_t address) const { return list_.FindByAddress(address); }
  ServerInfo* FindById(uint32_t id) const { return list_.FindById(id); }
  ServerInfo* At(size_t position) const { return list_.At(position); }
  bool Contains(uint32_t address) const { return list_.Contains(address); }
  size_t Count() const { return list_.Count(); }
  Remote::Server::CTARNNetServerInfoList& List() { return list_; }

  // Set by the server TCP session when it connects to or leaves a server.
  void SetCurrentServer(ServerInfo* server) { current_.store(server); }
  ServerInfo* GetCurrentServer() const { return current_.load(); }
  // The first listed server with fewer files than the current one (or the first of all when
  // there is no current server); nullptr when none qualifies.
  ServerInfo* GetNextServer() const;
  // The first listed server; with an empty list, asks the configured default server for its
  // server list and adds it first.
  ServerInfo* GetFirstServer();
  ServerInfo* GetNextOrFirstServer();

  void SetDefaultServer(uint32_t address, uint16_t port);
  void SetServerListRequest(ServerListRequest request);
  // Wakes the server checker so new servers get queried.
  void SetCheckerWake(std::function<void()> wake);

  // Adds each usable, unknown address; when any was added, saves the file and wakes the
  // checker. Returns the number added. Loopback addresses are taken only from a server that
  // is itself on loopback (a local test network); from anyone else they are refused.
  size_t MergeServerList(std::span<const SServerAddress> servers, bool fromLoopback = false);
  // Saves to the folder given to Start(); false before Start or when the write fails.
  bool SaveList() const;

  // The server's identification: hash, host name (the dotted address when none was sent),
  // name and description when present. Raises server-changed; false for an unknown address.
  bool ApplyIdentification(uint32_t address, const _tagUnionHash& hash,
                           std::optional<std::string> hostName, std::optional<std::string> name,
                           std::optional<std::string> description);
  // Users and files from the current server's status message. Raises server-changed.
  bool ApplyTcpStatus(uint32_t users, uint32_t files);
  // For the checker after it updated an entry.
  void NotifyChanged(const ServerInfo& server);

 private:
  size_t AddLoaded(const OSTREL::File::CXmlDocument& document);
  std::filesystem::path FolderCopy() const;

  Remote::Server::CTARNNetServerInfoList list_;
  std::atomic<ServerInfo*> current_{nullptr};

  mutable OSTREL::Process::CMutex settingsLock_;
  std::filesystem::path configFolder_ GUARDED_BY(settingsLock_);
  SServerAddress defaultServer_ GUARDED_BY(settingsLock_);
  ServerListRequest serverListRequest_ GUARDED_BY(settingsLock_);
  std::function<void()> checkerWake_ GUARDED_BY(settingsLock_);
  // One save at a time, so an older snapshot never replaces a newer file.
  mutable OSTREL::Process::CMutex saveLock_;
};

}  // namespace P2P
