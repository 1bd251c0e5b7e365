#include "engine/core/TARNNetClientModule.h"

#include <algorithm>

#include "engine/base/Random.h"
#include "engine/core/ClientConfigStore.h"
#include "engine/library/OfferRecord.h"
#include "engine/net/ClientCreditFile.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "framework/Log.h"
#include "platform/Folders.h"
#include "platform/RegistryKey.h"

namespace P2P {
namespace {

// Pause after each chunk and part while hashing shared files, unless the registry says
// otherwise.
constexpr uint32_t kDefaultHashingPauseMs = 10;

}  // namespace

// The connection manager only keeps the server manager's address until Start.
CTARNNetClientModule::CTARNNetClientModule() : connectionManager_(config_, serverManager_) {}
CTARNNetClientModule::~CTARNNetClientModule() = default;

bool CTARNNetClientModule::Start() {
  CRandom::SeedWithTime();
  LoadConfig();
  // Each step brings up a manager the later ones depend on.
  if (!LoadClientCredits() || !LoadServerList() || !CreateTransferFileList() ||
      !StartDownloadManager() || !StartUploadManager() || !StartSearchManager() ||
      !StartPeerSessions() || !StartConnectionManager())
    return false;
  AddRef();
  return true;
}

bool CTARNNetClientModule::Stop() {
  StopSearchManager();
  StopConnectionManager();
  StopPeerSessions();
  StopDownloadManager();
  StopUploadManager();
  ReleaseTransferFileList();
  SaveServerList();
  SaveClientCredits();
  SaveConfig();
  Release();  // the last reference: destroys the module
  return true;
}

bool CTARNNetClientModule::LoadConfig() {
  OSTREL::Process::CLock guard(lock_);
  if (!registry_)
    registry_ =
        std::make_unique<OSTREL::Platform::CRegistry>(OSTREL::Platform::CFolders::RegistryFolder());
  return CClientConfigStore(*registry_).Load(config_);
}

bool CTARNNetClientModule::SaveConfig() {
  OSTREL::Process::CLock guard(lock_);
  if (!registry_) return false;
  return CClientConfigStore(*registry_).Save(config_);
}

// Start steps. The managers are wired in here as they are built.
// A missing or unreadable Credits.dat starts an empty list; the signing state still comes
// from the key just loaded with the configuration.
bool CTARNNetClientModule::LoadClientCredits() {
  const size_t keyLength = std::min<size_t>(config_.privateKeyLength, config_.privateKey.size());
  clientCreditList_.Load(config_.configPath, std::span(config_.privateKey.data(), keyLength));
  return true;
}
bool CTARNNetClientModule::LoadServerList() {
  serverManager_.SetDefaultServer(config_.serverIp, config_.serverPort);
  // A missing or unreadable list is not fatal: the default server is asked for one.
  serverManager_.Start(config_.configPath);
  return true;
}
bool CTARNNetClientModule::CreateTransferFileList() {
  transferFileList_ = Shared::File::TransferFile::CTARNNetTransferFileList::GetInstance();
  return transferFileList_ != nullptr;
}
// Sources found for a download become remote-client records through the client list, which
// connects to them at once; a source the client list gives up leaves the download.
bool CTARNNetClientModule::StartDownloadManager() {
  Shared::File::TransferFile::SDownloadHooks hooks;
  hooks.sourceAdded = [this](const Shared::File::TransferFile::CTransferFilePtr& file,
                             const Remote::Peer::_tagStructPeer& source) {
    clientList_.CreateDownloadSource(file->GetHash(), source.clientId, source.port,
                                     source.serverAddress, source.serverPort, source.userHash);
  };
  hooks.sourceRemoved = [this](const Shared::File::TransferFile::CTransferFilePtr& file,
                               uint32_t clientId) { clientList_.DropSource(file->GetHash(), clientId); };
  hooks.requestSources = [this](const _tagUnionHash& hash, uint64_t size) {
    RequestSources(hash, size);
  };
  downloadFileManager_.SetHooks(hooks);
  downloadFileManager_.SetUploadFileManager(&uploadFileManager_);
  return downloadFileManager_.Start(config_.tempPath, config_.sharedPath);
}
uint32_t CTARNNetClientModule::StoredDword(const std::string& key, const char* name,
                                           uint32_t fallback) {
  OSTREL::Process::CLock guard(lock_);
  if (!registry_) return fallback;
  const auto opened =
      OSTREL::Platform::CRegKey::Open(*registry_, OSTREL::Platform::RegRoot::kLocalMachine, key);
  return opened ? opened->QueryDword(name).value_or(fallback) : fallback;
}
bool CTARNNetClientModule::StartUploadManager() {
  const uint32_t pause = StoredDword(kProductKey, "Hashing Pause", kDefaultHashingPauseMs);
  uploadFileManager_.SetHashingLock(&lock_);
  std::vector<std::filesystem::path> downloadFolders{config_.tempPath};
  downloadFolders.insert(downloadFolders.end(), config_.downloadFolders.begin(),
                         config_.downloadFolders.end());
  uploadFileManager_.SetDownloadFolders(std::move(downloadFolders));
  uploadFileManager_.Advise(this);
  return uploadFileManager_.Start(config_.configPath, config_.sharedPath, pause);
}
// The search goes out through the server sessions, which exist from construction on.
bool CTARNNetClientModule::StartSearchManager() {
  SSearchSenders senders;
  senders.isConnected = [this] { return connectionManager_.IsConnected(); };
  senders.sendTcp = [this](std::span<const uint8_t> body) {
    return connectionManager_.GetServerTCPConnecter().SendSearch(body);
  };
  senders.sendUdp = [this](uint32_t address, uint16_t port, std::span<const uint8_t> body,
                           bool search3) {
    CTARNNetC2SUDPConnecter& udp = connectionManager_.GetServerUDPConnecter();
    return search3 ? udp.SendGlobalSearch3(address, port, body)
                   : udp.SendGlobalSearch(address, port, body);
  };
  searchManager_.SetSenders(std::move(senders));
  searchManager_.SetServerManager(&serverManager_);
  return searchManager_.Start();
}
// Before the connection manager binds the listener: accepted sessions need their owner.
bool CTARNNetClientModule::StartPeerSessions() {
  clientList_.SetConnectHook([this](const Client::CClientPtr& client, bool uploadCallback) {
    return ConnectPeer(client, uploadCallback);
  });
  clientList_.SetRemoveSourceHook([this](const _tagUnionHash& hash, uint32_t clientId) {
    if (transferFileList_ == nullptr) return;
    if (auto file = transferFileList_->FindByHash(hash)) file->Data()->RemoveSource(clientId);
  });
  // The sources of a paused or stopped download wait as they are until it is resumed.
  clientList_.SetActiveHook([this](const _tagUnionHash& hash) {
    const auto file = transferFileList_ != nullptr ? transferFileList_->FindByHash(hash)
                                                   : Shared::File::TransferFile::CTransferFilePtr();
    return !file || (!file->Data()->IsPaused() && !file->Data()->IsStopped());
  });
  auto findFile = [this](const _tagUnionHash& hash) {
    return transferFileList_ != nullptr ? transferFileList_->FindByHash(hash)
                                        : Shared::File::TransferFile::CTransferFilePtr();
  };
  peerContext_ = std::make_unique<CPeerSessionContext>(config_);
  CPeerSessionContext& context = *peerContext_;
  transferBudget_ = std::make_unique<CTARNNetTransferBudget>(ReceivedCreditOf(clientCreditList_));
  transferBudget_->ApplyConfig(config_);
  transferBudget_->SetReadResumeHook([&context] { context.pausedReaders.ResumeAll(); });
  uploadService_ =
      std::make_unique<CTARNNetUploadService>(findFile, CreditHooksOf(clientCreditList_));
  uploadService_->ApplyConfig(config_);
  uploadService_->SetResumeHook([&context] { context.served.ResumeWaiting(); });
  // A waiter whose turn comes while it has no session is called back for its slot.
  context.served.SetCallBack([this, &context](const Client::_tagStructUploadRequester& waiter) {
    if (!clientList_.CallForSlot(waiter.address, waiter.tcpPort, waiter.userHash, waiter.fileHash))
      context.served.Deliver(uploadService_->OnSessionClosed(waiter.userHash));
  });
  context.identity = &clientCreditList_;
  context.uploads = uploadService_.get();
  context.budget = transferBudget_.get();
  context.findFile = findFile;
  context.serverPort = [this](uint32_t address) -> std::optional<uint16_t> {
    if (const auto* server = serverManager_.FindByAddress(address)) return server->port;
    return std::nullopt;
  };
  context.clients = &clientList_;
  // Queued downloads ask again by UDP pings; the answers come on the peer UDP endpoint.
  udpReasker_.Attach();
  context.udpReasks = true;
  connectionManager_.GetPeerUDPConnecter().SetUploadService(uploadService_.get());
  if (!peerManager_.Start()) return false;
  connectionManager_.GetListener().SetSessionOwner(peerContext_.get(), &peerManager_);
  return true;
}
bool CTARNNetClientModule::ConnectPeer(const Client::CClientPtr& client, bool uploadCallback) {
  if (!peerContext_) return false;
  auto* session = new CTARNNetC2CTCPConnecterT(*peerContext_, client);
  session->AddRef();
  const bool connecting = session->ConnectTo(peerManager_, uploadCallback);
  session->Release();
  return connecting;
}
void CTARNNetClientModule::UploadPass() {
  if (!uploadService_ || !peerContext_) return;
  peerContext_->served.Deliver(uploadService_->Tick());
  peerContext_->served.ResumeWaiting();
}
// The host's firewall is asked to open the peer ports, and the network links are watched,
// unless the registry's "Host" key says not to (an instance that must leave the host alone,
// as tests do).
bool CTARNNetClientModule::StartConnectionManager() {
  const std::string host = std::string(kProductKey) + "\\" + kHostKey;
  if (StoredDword(host, "Open Firewall Ports", 1) == 0) connectionManager_.SetFirewall(nullptr);
  if (StoredDword(host, "Watch Network Links", 1) == 0) connectionManager_.SetMediaSource(nullptr);
  connectionManager_.SetHooks(MakeServerSessionHooks());
  return connectionManager_.Start();
}

Protocol::SServerSessionHooks CTARNNetClientModule::MakeServerSessionHooks() {
  Protocol::SServerSessionHooks hooks;
  hooks.hasFilesToOffer = [this] {
    return transferFileList_ != nullptr && transferFileList_->Count() > 0;
  };
  hooks.offerFiles = [this](bool compactTags) { return BuildOfferList(compactTags); };
  hooks.searchResult = [this](const Protocol::SOfferRecord& record, uint32_t, uint16_t) {
    if (auto result = Shared::File::OfferRecordFromTags(record.hash, record.clientId, record.port,
                                                        record.tags))
      searchManager_.AddAnswer(std::move(*result));
  };
  hooks.searchStopped = [this] { return searchManager_.IsStopped(); };
  hooks.downloadsNeedingSources = [this] { return downloadFileManager_.DownloadsNeedingSources(); };
  hooks.foundSources = [this](const _tagUnionHash& hash,
                              const std::vector<Protocol::SFoundSource>& sources) {
    for (const Protocol::SFoundSource& source : sources)
      downloadFileManager_.AddSource(hash, source.clientId, source.port, source.serverAddress,
                                     source.serverPort);
  };
  // A low-id client the server relays wants us to connect to it for its upload.
  hooks.callbackRequested = [this](uint32_t address, uint16_t port) {
    clientList_.CallBack(address, port);
  };
  hooks.periodicTick = [this] {
    if (transferFileList_ != nullptr) transferFileList_->SampleStatistics();
    clientList_.ReaskPass();
    UploadPass();
  };
  return hooks;
}

// The offer-files payload for the connected server, in the form its flags ask for.
std::vector<uint8_t> CTARNNetClientModule::BuildOfferList(bool compactTags) {
  std::vector<uint8_t> payload;
  if (transferFileList_ == nullptr) return payload;
  const auto& server = connectionManager_.GetServerTCPConnecter();
  Shared::File::TransferFile::_tagStructServerOfferParams params;
  params.ownClientId = config_.clientId;
  params.ownPort = config_.tcpPort;
  params.serverTcpFlags = (server.ServerFlagBit0() ? 0x01u : 0u) |
                          (server.ServerTakesLargeFiles() ? Protocol::kServerFlagLargeFiles : 0u);
  params.compactTags = compactTags;
  Protocol::CStreamWriter writer(payload);
  if (!transferFileList_->WriteOfferList(writer, params)) payload.clear();
  return payload;
}

void CTARNNetClientModule::RequestSources(const _tagUnionHash& hash, uint64_t size) {
  const Protocol::SSourceRequestEntry entry{hash, size};
  CTARNNetC2STCPConnecter& tcp = connectionManager_.GetServerTCPConnecter();
  if (tcp.IsConnected()) tcp.SendGetSources(std::span(&entry, 1));
  connectionManager_.GetServerUDPConnecter().SendGlobalSources(std::span(&entry, 1),
                                                               tcp.GetCurrentServer(), nullptr);
}

// Stop steps, in the reverse dependency order.
void CTARNNetClientModule::StopSearchManager() { searchManager_.Stop(); }
void CTARNNetClientModule::StopConnectionManager() { connectionManager_.Stop(); }
// The listener is closed by now; every session ends before the downloads it feeds stop.
void CTARNNetClientModule::StopPeerSessions() {
  connectionManager_.GetListener().SetSessionOwner(nullptr, nullptr);
  clientList_.SetConnectHook(nullptr);
  peerManager_.Stop();
  connectionManager_.GetPeerUDPConnecter().SetUploadService(nullptr);
  udpReasker_.Detach();
  uploadService_.reset();
  transferBudget_.reset();
  clientList_.ClearAll();
  clientList_.SetRemoveSourceHook(nullptr);
  clientList_.SetActiveHook(nullptr);
  peerContext_.reset();
}
void CTARNNetClientModule::StopDownloadManager() { downloadFileManager_.Stop(); }
void CTARNNetClientModule::StopUploadManager() {
  uploadFileManager_.Stop();
  uploadFileManager_.Unadvise(this);
}

void CTARNNetClientModule::OnSharedFileAdded(const Shared::_tagStructSharedFile&) {
  connectionManager_.OfferFiles();
}
void CTARNNetClientModule::OnSharedFileRemoved(const Shared::_tagStructSharedFile&) {
  connectionManager_.OfferFiles();
}
void CTARNNetClientModule::ReleaseTransferFileList() {
  if (transferFileList_ != nullptr) transferFileList_->Stop();  // the list's last reference
  transferFileList_ = nullptr;
}
void CTARNNetClientModule::SaveServerList() { serverManager_.Stop(); }
void CTARNNetClientModule::SaveClientCredits() {
  if (!clientCreditList_.Save(config_.configPath))
    OSTREL::LogWarning("cannot save ", Credit::kClientCreditsFile);
}

}  // namespace P2P
