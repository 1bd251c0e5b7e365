// A peer session accepted from a loopback pair and driven by a socket manager of its own; the
// test plays the remote client on the pair's other end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "framework/WaitMultipleSocketsManager.h"
#include "tests/support/LoopbackPair.h"

namespace tarn::test {

class AcceptedPeerSession {
 public:
  AcceptedPeerSession() = default;
  ~AcceptedPeerSession() { Close(); }
  AcceptedPeerSession(const AcceptedPeerSession&) = delete;
  AcceptedPeerSession& operator=(const AcceptedPeerSession&) = delete;

  // `context` must outlive the session. False when a step fails.
  bool Open(P2P::CPeerSessionContext& context, P2P::Client::CClientPtr client);
  // Stops the manager and drops the session; again is harmless.
  void Close();

  P2P::CTARNNetC2CTCPConnecterT* Session() const { return session_; }
  // The remote client's end of the pair.
  int Remote() const { return pair_.Client(); }
  bool Send(uint8_t protocol, uint8_t opcode, const std::vector<uint8_t>& payload);
  // The next packet the session sent, header included; empty once the stream ended.
  std::string ReadPacket();

 private:
  OSTREL::Network::Socket::CWaitMultipleSocketsManagerImpl manager_;
  LoopbackPair pair_;
  P2P::CTARNNetC2CTCPConnecterT* session_ = nullptr;
};

}  // namespace tarn::test
