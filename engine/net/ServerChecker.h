// The server checker: a thread that, at once and then every five minutes (or when woken after
// new servers were merged), sends a status and a description request to each listed server
// not queried within the last 30 minutes, and saves the server list after each pass. Every
// wait is on the engine's tick source. Start and Stop belong to the UDP connecter's owner;
// Wake may be called from any thread.
#pragma once

#include <cstdint>

#include "engine/net/TARNNetC2SUDPConnecter.h"
#include "framework/Event.h"
#include "framework/Thread.h"

namespace P2P {

class CTARNNetC2SUDPConnecter::CServerChecker
    : public OSTREL::Process::CThreadImpl<CServerChecker> {
 public:
  static constexpr uint32_t kPassInterval = 300000;
  static constexpr uint32_t kRecheckAfter = 1800000;
  static constexpr uint32_t kIdleWait = 5000;
  static constexpr uint32_t kRequestPause = 10;

  CServerChecker(CTARNNetC2SUDPConnecter& connecter, CTARNNetServerManager& servers);
  ~CServerChecker() override;

  bool Start() override;
  bool Stop() override;
  unsigned Run() override;
  void Wake() { wake_.Set(); }
  // Passes completed so far (tests wait on it).
  uint32_t PassCount() const { return passes_.load(); }

 private:
  // False when the stop event ended the pass.
  bool RunPass();
  bool Due(const ServerInfo& server, uint32_t now) const;

  CTARNNetC2SUDPConnecter& connecter_;
  CTARNNetServerManager& servers_;
  OSTREL::Process::CEvent stop_;
  OSTREL::Process::CEvent wake_;
  std::atomic<uint32_t> passes_{0};
};

}  // namespace P2P
