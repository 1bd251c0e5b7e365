#include "engine/peers/ClientList.h"

#include <algorithm>

#include "framework/CriticalSection.h"

namespace P2P::Client {

using Guard = OSTREL::Process::CLock<OSTREL::Process::CMutex>;

void ITARNNetClientListT::Add(const CClientPtr& client) {
  Guard guard(lock_);
  clients_.push_back(client);
}

bool ITARNNetClientListT::Remove(const CTARNNetClient* client) {
  Guard guard(lock_);
  auto it = std::find_if(clients_.begin(), clients_.end(),
                         [&](const CClientPtr& entry) { return entry.Get() == client; });
  if (it == clients_.end()) return false;
  clients_.erase(it);
  return true;
}

void ITARNNetClientListT::Clear() {
  std::vector<CClientPtr> released;
  Guard guard(lock_);
  released.swap(clients_);
}

bool ITARNNetClientListT::Contains(const CTARNNetClient* client) const {
  Guard guard(lock_);
  return std::any_of(clients_.begin(), clients_.end(),
                     [&](const CClientPtr& entry) { return entry.Get() == client; });
}

size_t ITARNNetClientListT::Size() const {
  Guard guard(lock_);
  return clients_.size();
}

std::vector<CClientPtr> ITARNNetClientListT::Snapshot() const {
  Guard guard(lock_);
  return clients_;
}

void CTARNNetUploadClientQueue::Add(const CClientPtr& client) {
  Guard guard(lock_);
  client->SetUploadQueuePosition(static_cast<int32_t>(clients_.size()));
  clients_.push_back(client);
}

bool CTARNNetUploadClientQueue::Remove(const CTARNNetClient* client) {
  Guard guard(lock_);
  auto it = std::find_if(clients_.begin(), clients_.end(),
                         [&](const CClientPtr& entry) { return entry.Get() == client; });
  if (it == clients_.end()) return false;
  clients_.erase(it);
  for (size_t i = 0; i < clients_.size(); ++i)
    clients_[i]->SetUploadQueuePosition(static_cast<int32_t>(i));
  return true;
}

std::vector<CClientPtr> CTARNNetDownloadClientQueue::CollectReasks() {
  std::vector<CClientPtr> reask;
  std::vector<CClientPtr> retry;
  {
    Guard guard(lock_);
    for (const CClientPtr& client : clients_) {
      const uint32_t state = client->GetDownloadState();
      const bool hasSession = client->GetSession() != nullptr;
      if (hasSession && (state == kDownloadNothingNow || state == kDownloadNothingNeeded) &&
          client->RetryDue()) {
        client->SetDownloadState(kDownloadIdle);
        client->SetRetry(CTARNNetClient::kNever);
        retry.push_back(client);
      } else if (!hasSession &&
                 (state == kDownloadReceiving || state == kDownloadQueued ||
                  state == kDownloadReask || state == kDownloadNothingNow ||
                  state == kDownloadNothingNeeded) &&
                 client->ReaskDue()) {
        reask.push_back(client);
      }
    }
  }
  // The session's own lock is taken outside the queue's.
  for (const CClientPtr& client : retry)
    if (ITARNNetClientSession* session = client->GetSession()) session->RequestFileAgain();
  return reask;
}

void CTARNNetClientList::SetConnectHook(ConnectHook hook) {
  Guard guard(hookLock_);
  connect_ = std::move(hook);
}

void CTARNNetClientList::SetRemoveSourceHook(RemoveSourceHook hook) {
  Guard guard(hookLock_);
  removeSource_ = std::move(hook);
}

CClientPtr CTARNNetClientList::CreateDownloadSource(const _tagUnionHash& file, uint32_t clientId,
                                                    uint16_t port, uint32_t serverAddress,
                                                    uint16_t serverPort) {
  CClientPtr client(new CTARNNetClient);
  client->Initialise(clientId, port, serverAddress, serverPort, &file, nullptr);
  Add(client);
  downloadQueue_.Add(client);
  ConnectHook connect;
  {
    Guard guard(hookLock_);
    connect = connect_;
  }
  if (connect && connect(client, false)) return client;
  // Kept for the reask pass: a source that refused now may answer later.
  client->SetDownloadState(kDownloadNothingNow);
  client->SetReask(CTARNNetClient::kReaskPeriod);
  return client;
}

CClientPtr CTARNNetClientList::CreateUploadClient(uint32_t address, uint16_t port) {
  CClientPtr client(new CTARNNetClient);
  client->Initialise(address, port, 0, 0, nullptr, nullptr);
  Add(client);
  uploadQueue_.Add(client);
  return client;
}

CClientPtr CTARNNetClientList::CallBack(uint32_t address, uint16_t port) {
  CClientPtr client = CreateUploadClient(address, port);
  ConnectHook connect;
  {
    Guard guard(hookLock_);
    connect = connect_;
  }
  if (connect && connect(client, true)) return client;
  Drop(client.Get());
  return {};
}

void CTARNNetClientList::Drop(const CTARNNetClient* client) {
  if (client == nullptr) return;
  CClientPtr keep(const_cast<CTARNNetClient*>(client));
  if (downloadQueue_.Remove(client)) {
    RemoveSourceHook removeSource;
    {
      Guard guard(hookLock_);
      removeSource = removeSource_;
    }
    if (removeSource) removeSource(client->GetRequestedFile(), client->GetAddress());
  }
  uploadQueue_.Remove(client);
  Remove(client);
}

void CTARNNetClientList::DropSource(const _tagUnionHash& file, uint32_t clientId) {
  for (const CClientPtr& client : downloadQueue_.Snapshot())
    if (client->GetAddress() == clientId && client->GetRequestedFile() == file) {
      client->Detach(true);
      downloadQueue_.Remove(client.Get());
      uploadQueue_.Remove(client.Get());
      Remove(client.Get());
    }
}

void CTARNNetClientList::ReaskPass() {
  std::vector<CClientPtr> due = downloadQueue_.CollectReasks();
  ConnectHook connect;
  {
    Guard guard(hookLock_);
    connect = connect_;
  }
  for (const CClientPtr& client : due) {
    if (connect && connect(client, false)) continue;
    client->SetReask(CTARNNetClient::kReaskPeriod);
  }
}

void CTARNNetClientList::ClearAll() {
  for (const CClientPtr& client : Snapshot()) client->Detach(true);
  downloadQueue_.Clear();
  uploadQueue_.Clear();
  Clear();
}

}  // namespace P2P::Client
