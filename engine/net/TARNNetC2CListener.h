// The peer TCP listener on the configured TCP port. Each accepted connection becomes a peer
// session built from the engine's session context, with a new remote-client record (in the
// context's client list and the upload queue), driven by the peer manager. Until the engine
// root wires those in, or beyond the cap on open sessions, an accepted connection is closed at
// once. Handlers run on the listener's own thread;
// Create, Close and SetSessionOwner from the connection manager's thread.
#pragma once

#include <atomic>

#include "engine/base/ClientConfig.h"
#include "engine/net/PeerSessionContext.h"
#include "engine/net/TARNNetC2CManager.h"
#include "framework/EventSocketImpl.h"
#include "framework/NetworkEvents.h"

namespace P2P {

class CTARNNetC2CListener
    : public OSTREL::Network::Socket::CEventSocketImpl<CTARNNetC2CListener,
                                                       OSTREL::Network::Socket::kNoTimeout,
                                                       OSTREL::Network::Socket::CListenerTraits> {
 public:
  ~CTARNNetC2CListener() override { Close(true); }

  // What accepted sessions are built from (its client list must be set) and where they go;
  // both outlive the listener's socket. Null: connections are closed as they come.
  void SetSessionOwner(CPeerSessionContext* context, CTARNNetC2CManager* manager);
  // Connections closed at accept because the peer sessions were at their cap.
  uint64_t GetRefusedConnections() const { return refused_.load(); }
  // Refusals this far apart start a new burst, which is logged once.
  static constexpr uint32_t kRefusalBurstGapMs = 10000;

 protected:
  void OnAccept(int error) override;

 private:
  bool StartSession(int fd, uint32_t address, uint16_t port);
  // The cap on open peer sessions: "Max Connections", within the engine's hard limit.
  static size_t SessionCap(const _tagStructClientConfig& own);
  void NoteRefusal(size_t cap);

  std::atomic<CPeerSessionContext*> context_{nullptr};
  std::atomic<CTARNNetC2CManager*> manager_{nullptr};
  std::atomic<uint64_t> refused_{0};
  // Listener thread only.
  bool inBurst_ = false;
  uint32_t lastRefusalTick_ = 0;
  uint64_t burstRefusals_ = 0;
};

}  // namespace P2P
