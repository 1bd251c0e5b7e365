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

std::vector<CClientPtr> CTARNNetDownloadClientQueue::CollectReasks(const ActiveTest& active,
                                                                   std::vector<CClientPtr>* pings) {
  std::vector<CClientPtr> reask;
  std::vector<CClientPtr> retry;
  // A paused download keeps its sources as they are: were they asked again, the session would
  // end in a state that drops them, or that is never asked again after the resume. The
  // downloads are asked outside the queue's lock.
  std::vector<_tagUnionHash> asked, waiting;
  if (active)
    for (const CClientPtr& client : Snapshot()) {
      const _tagUnionHash file = client->GetRequestedFile();
      if (std::find(asked.begin(), asked.end(), file) != asked.end()) continue;
      asked.push_back(file);
      if (!active(file)) waiting.push_back(file);
    }
  {
    Guard guard(lock_);
    for (const CClientPtr& client : clients_) {
      if (std::find(waiting.begin(), waiting.end(), client->GetRequestedFile()) != waiting.end())
        continue;
      const uint32_t state = client->GetDownloadState();
      const bool hasSession = client->GetSession() != nullptr;
      if (hasSession && (state == kDownloadNothingNow || state == kDownloadNothingNeeded) &&
          client->RetryDue()) {
        client->SetDownloadState(kDownloadIdle);
        client->SetRetry(CTARNNetClient::kNever);
        retry.push_back(client);
      } else if (!hasSession && state == kDownloadReask && pings != nullptr &&
                 !client->UdpReaskFailed() && client->ReaskDue()) {
        // Pings that go unanswered twice in a row: TCP from now on.
        if (client->UnansweredUdpPings() >= CTARNNetClient::kUdpPingsBeforeTcp) {
          client->GiveUpUdp();
          reask.push_back(client);
        } else {
          pings->push_back(client);
        }
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

void CTARNNetClientList::SetActiveHook(CTARNNetDownloadClientQueue::ActiveTest hook) {
  Guard guard(hookLock_);
  active_ = std::move(hook);
}

void CTARNNetClientList::SetPingHook(PingHook hook) {
  Guard guard(hookLock_);
  ping_ = std::move(hook);
}

void CTARNNetClientList::OnPingAnswer(uint32_t address, uint16_t udpPort, EPingAnswer answer,
                                      uint16_t rank) {
  CClientPtr asked;
  for (const CClientPtr& client : downloadQueue_.Snapshot()) {
    if (client->GetSession() != nullptr || client->GetDownloadState() != kDownloadReask ||
        client->UnansweredUdpPings() == 0 || client->GetAddress() != address ||
        client->GetIdentity().udpPort != udpPort)
      continue;
    // Answers name no file: the client pinged first is the one answered first.
    if (!asked || client->UnansweredUdpPings() > asked->UnansweredUdpPings()) asked = client;
  }
  if (!asked) return;
  if (answer == EPingAnswer::kFileNotFound) {
    asked->NoteUdpAnswer();
    asked->SetDownloadState(kDownloadIdle);
    return;
  }
  asked->NoteUdpAnswer();
  if (answer == EPingAnswer::kRank) asked->SetRemoteQueueRank(rank);
}

CClientPtr CTARNNetClientList::CreateDownloadSource(const _tagUnionHash& file, uint32_t clientId,
                                                    uint16_t port, uint32_t serverAddress,
                                                    uint16_t serverPort,
                                                    const _tagUnionHash& userHash) {
  CClientPtr client(new CTARNNetClient);
  client->Initialise(clientId, port, serverAddress, serverPort, &file,
                     userHash.IsZero() ? nullptr : &userHash);
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

bool CTARNNetClientList::CallForSlot(uint32_t address, uint16_t port, const _tagUnionHash& user,
                                     const _tagUnionHash& file) {
  CClientPtr client = CreateUploadClient(address, port);
  client->SetSlotCall(user, file);
  ConnectHook connect;
  {
    Guard guard(hookLock_);
    connect = connect_;
  }
  // Connected like a download: we say hello, and the accept follows its answer.
  if (connect && connect(client, false)) return true;
  Drop(client.Get());
  return false;
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

CClientPtr CTARNNetClientList::FindWaitingSource(const _tagUnionHash& user) const {
  if (user.IsZero()) return {};
  for (const CClientPtr& client : downloadQueue_.Snapshot()) {
    const uint32_t state = client->GetDownloadState();
    if (client->GetSession() == nullptr && (state == kDownloadQueued || state == kDownloadReask) &&
        client->GetIdentity().userHash == user)
      return client;
  }
  return {};
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
  ConnectHook connect;
  CTARNNetDownloadClientQueue::ActiveTest active;
  PingHook ping;
  {
    Guard guard(hookLock_);
    connect = connect_;
    active = active_;
    ping = ping_;
  }
  std::vector<CClientPtr> pings;
  std::vector<CClientPtr> due = downloadQueue_.CollectReasks(active, ping ? &pings : nullptr);
  for (const CClientPtr& client : pings) {
    // Noted before it goes: the answer may come back before the send returns.
    client->NoteUdpPing();
    if (!ping(client)) due.push_back(client);  // no ping can go out now: this time over TCP
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
