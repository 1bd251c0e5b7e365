#include "engine/net/TARNNetC2CTCPConnecter.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace P2P {

CTARNNetC2CTCPConnecterT::CTARNNetC2CTCPConnecterT(CPeerSessionContext& context,
                                                   Client::CClientPtr client)
    : session_(context, link_, std::move(client)) {}

CTARNNetC2CTCPConnecterT::~CTARNNetC2CTCPConnecterT() {
  Close(true);
  session_.End();
}

void CTARNNetC2CTCPConnecterT::CLink::SetIdleLimit(uint32_t milliseconds) {
  socket_.SetIdleTimeout(milliseconds);
  socket_.ResetIdleTimer();
}

bool CTARNNetC2CTCPConnecterT::AttachAccepted(int fd) {
  sockaddr_in from{};
  socklen_t length = sizeof(from);
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&from), &length) == 0)
    remoteAddress_.store(from.sin_addr.s_addr);
  if (!Attach(fd)) return false;
  if (const Client::CClientPtr& client = GetClient()) client->AttachAccepted(this);
  return true;
}

bool CTARNNetC2CTCPConnecterT::ConnectTo(CTARNNetC2CManager& manager, bool uploadCallback) {
  const Client::CClientPtr& client = GetClient();
  if (!client) return false;
  client->AttachOutgoing(this, uploadCallback);
  remoteAddress_.store(client->GetAddress());
  if (Create(0, SOCK_STREAM) && Connect(remoteAddress_.load(), client->GetPort()) &&
      manager.Add(this))
    return true;
  Close(true);
  client->Detach(false);
  // Not a failed session: the caller decides when the client is tried again.
  client->SetDownloadState(Client::kDownloadNothingNow);
  return false;
}

void CTARNNetC2CTCPConnecterT::OnConnect(int /*error*/) { session_.OnConnected(); }

size_t CTARNNetC2CTCPConnecterT::OnReceiveData(std::span<const uint8_t> pending) {
  return session_.Receive(pending);
}

void CTARNNetC2CTCPConnecterT::OnSend(int /*error*/) {
  Flush();
  session_.OnSendReady();
}

// Leaving the served sessions here, before the last reference goes, keeps the scheduler's
// callers from reaching a session being destroyed.
void CTARNNetC2CTCPConnecterT::OnClose(int /*error*/) {
  Close(true);
  if (GetClient()) session_.OnConnectionLost();
}
void CTARNNetC2CTCPConnecterT::OnError(int /*error*/) {
  Close(true);
  if (GetClient()) session_.OnConnectionLost();
}

}  // namespace P2P
