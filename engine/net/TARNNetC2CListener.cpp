#include "engine/net/TARNNetC2CListener.h"

#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/peers/ClientList.h"
#include "engine/protocol/Limits.h"
#include "framework/Log.h"
#include "framework/TickSource.h"

namespace P2P {

void CTARNNetC2CListener::SetSessionOwner(CPeerSessionContext* context,
                                          CTARNNetC2CManager* manager) {
  context_.store(context);
  manager_.store(manager);
}

void CTARNNetC2CListener::OnAccept(int /*error*/) {
  int accepted = -1;
  sockaddr_in from{};
  while (Accept(accepted, &from)) {
    if (StartSession(accepted, from.sin_addr.s_addr, ntohs(from.sin_port))) continue;
    OSTREL::Network::Socket::CSocketT<1> peer(accepted);
    peer.Close(true);
  }
}

bool CTARNNetC2CListener::StartSession(int fd, uint32_t address, uint16_t port) {
  CPeerSessionContext* context = context_.load();
  CTARNNetC2CManager* manager = manager_.load();
  Client::CTARNNetClientList* clients = context != nullptr ? context->clients : nullptr;
  if (!manager || !clients) return false;
  // A flood of connections beyond the cap is turned away rather than held.
  if (const size_t cap = SessionCap(context->own); manager->ObjectCount() >= cap) {
    NoteRefusal(cap);
    return false;
  }
  Client::CClientPtr client = clients->CreateUploadClient(address, port);
  auto* session = new CTARNNetC2CTCPConnecterT(*context, client);
  session->AddRef();
  const bool added = session->AttachAccepted(fd) && manager->Add(session);
  if (!added) {
    client->Detach(false);
    clients->Drop(client.Get());
  }
  session->Release();
  return added;
}

size_t CTARNNetC2CListener::SessionCap(const _tagStructClientConfig& own) {
  // 0 sets no cap of its own.
  if (own.maxConnections == 0) return Protocol::kMaxPeerSessions;
  return std::min<size_t>(own.maxConnections, Protocol::kMaxPeerSessions);
}

// One line per burst, not per refusal: a flood must not flood the log as well.
void CTARNNetC2CListener::NoteRefusal(size_t cap) {
  const uint32_t now = OSTREL::Process::CTickSource::Now();
  if (!inBurst_ || now - lastRefusalTick_ >= kRefusalBurstGapMs) {
    if (inBurst_)
      OSTREL::LogInfo("peer listener: ", cap, " sessions open, refusing new connections (",
                      burstRefusals_, " refused in the last burst)");
    else
      OSTREL::LogInfo("peer listener: ", cap, " sessions open, refusing new connections");
    burstRefusals_ = 0;
  }
  inBurst_ = true;
  lastRefusalTick_ = now;
  ++burstRefusals_;
  refused_.fetch_add(1);
}

}  // namespace P2P
