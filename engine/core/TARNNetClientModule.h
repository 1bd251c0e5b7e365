// The root of the network engine: the one process-wide instance (created and started by the
// first GetInstance) that owns the configuration record, every engine manager and the client
// lists. Start loads the configuration and starts the managers in dependency order; Stop
// stops them in reverse and saves. GetInstance may be called from any thread; only the
// service host's first call, on the main thread, creates the instance.
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "engine/base/ClientConfig.h"
#include "engine/core/TARNNetConnectionManager.h"
#include "engine/download/DownloadFileManager.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/ServerSessionHooks.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/net/TARNNetClientCreditList.h"
#include "engine/net/TARNNetTransferBudget.h"
#include "engine/net/TARNNetUploadService.h"
#include "engine/net/UdpReasker.h"
#include "engine/peers/ClientList.h"
#include "engine/search/SearchManager.h"
#include "engine/servers/ServerManager.h"
#include "engine/transfer/TransferFileList.h"
#include "engine/upload/UploadFileManager.h"
#include "framework/CriticalSection.h"
#include "framework/Singleton.h"
#include "platform/Registry.h"

namespace P2P {

class CTARNNetClientModule : public OSTREL::CSingletonPtr<CTARNNetClientModule>,
                             private ITARNNetP2PSharedFileEventHandler {
 public:
  CTARNNetClientModule();
  ~CTARNNetClientModule() override;

  bool Start() override;
  bool Stop() override;

  _tagStructClientConfig& GetConfig() { return config_; }
  CTARNNetConnectionManager& GetConnectionManager() { return connectionManager_; }
  CTARNNetServerManager& GetServerManager() { return serverManager_; }
  CTARNNetDownloadFileManager& GetDownloadFileManager() { return downloadFileManager_; }
  // Serialises hashing and AICH.dat writing across the engine.
  OSTREL::Process::CCriticalSection& GetLock() { return lock_; }
  CTARNNetUploadFileManager& GetUploadFileManager() { return uploadFileManager_; }
  CTARNNetSearchManager& GetSearchManager() { return searchManager_; }
  Credit::CTARNNetClientCreditList& GetClientCreditList() { return clientCreditList_; }
  Client::CTARNNetClientList& GetClientList() { return clientList_; }
  CTARNNetC2CManager& GetPeerManager() { return peerManager_; }
  // Null while the peer sessions are stopped.
  CTARNNetUploadService* GetUploadService() { return uploadService_.get(); }
  CTARNNetTransferBudget* GetTransferBudget() { return transferBudget_.get(); }
  CPeerSessionContext* GetPeerSessionContext() { return peerContext_.get(); }

  bool LoadConfig();
  bool SaveConfig();

 private:
  // One step per manager, so that each manager is wired in where its turn comes.
  bool LoadClientCredits();
  bool LoadServerList();
  bool CreateTransferFileList();
  bool StartDownloadManager();
  bool StartUploadManager();
  bool StartSearchManager();
  bool StartPeerSessions();
  bool StartConnectionManager();

  void StopSearchManager();
  void StopConnectionManager();
  void StopPeerSessions();
  void StopDownloadManager();
  void StopUploadManager();
  void ReleaseTransferFileList();
  void SaveServerList();
  void SaveClientCredits();

  // A DWORD of the registry `key`; `fallback` when it or the registry is missing.
  uint32_t StoredDword(const std::string& key, const char* name, uint32_t fallback);
  // What the server sessions ask of the file and search sides; filled in as those land.
  Protocol::SServerSessionHooks MakeServerSessionHooks();
  std::vector<uint8_t> BuildOfferList(bool compactTags);
  // A new download asks the current server over TCP, then the others over UDP.
  void RequestSources(const _tagUnionHash& hash, uint64_t size);
  // A change of the shared files is offered to the connected server again.
  void OnSharedFileAdded(const Shared::_tagStructSharedFile&) override;
  void OnSharedFileChanged(const Shared::_tagStructSharedFile&) override {}
  void OnSharedFileRemoved(const Shared::_tagStructSharedFile&) override;
  // A peer session for `client`, connecting for downloading or as an upload call-back.
  bool ConnectPeer(const Client::CClientPtr& client, bool uploadCallback);
  // The upload scheduler's pass: calls, rotations and sessions waiting for rate allowance.
  void UploadPass();

  // Members in construction order; the managers slot in where the markers are.
  OSTREL::Process::CCriticalSection lock_;
  _tagStructClientConfig config_;
  CTARNNetConnectionManager connectionManager_;
  CTARNNetServerManager serverManager_;
  CTARNNetDownloadFileManager downloadFileManager_;
  CTARNNetUploadFileManager uploadFileManager_;
  CTARNNetSearchManager searchManager_;
  Credit::CTARNNetClientCreditList clientCreditList_;
  // The client list holds the download and upload client queues.
  Client::CTARNNetClientList clientList_;
  // Pings the clients whose queues our downloads wait in, over the peer UDP endpoint.
  CTARNNetUdpReasker udpReasker_{connectionManager_.GetPeerUDPConnecter(), clientList_};
  // What every peer session is built from, and the limits they share; built when the peer
  // sessions start. Before the peer manager, so that no session outlives them.
  std::unique_ptr<CPeerSessionContext> peerContext_;
  std::unique_ptr<CTARNNetTransferBudget> transferBudget_;
  std::unique_ptr<CTARNNetUploadService> uploadService_;
  // Every peer session, accepted or outgoing.
  CTARNNetC2CManager peerManager_;
  OSTREL::Process::CCriticalSection secondLock_;
  Shared::File::TransferFile::CTARNNetTransferFileList* transferFileList_ = nullptr;

  std::unique_ptr<OSTREL::Platform::CRegistry> registry_ GUARDED_BY(lock_);
};

}  // namespace P2P
