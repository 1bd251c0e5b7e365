#include "engine/net/ServerChecker.h"

#include <algorithm>
#include <vector>

#include "framework/ElapsedTime.h"
#include "framework/TickSource.h"

namespace P2P {

using OSTREL::Process::CTickSource;
using OSTREL::Process::WaitForEvent;
using Remote::Server::LoadField;

CTARNNetC2SUDPConnecter::CServerChecker::CServerChecker(CTARNNetC2SUDPConnecter& connecter,
                                                        CTARNNetServerManager& servers)
    : connecter_(connecter), servers_(servers) {}

CTARNNetC2SUDPConnecter::CServerChecker::~CServerChecker() { Stop(); }

bool CTARNNetC2SUDPConnecter::CServerChecker::Start() {
  if (IsRunning()) return true;
  stop_.ResetEvent();
  // The first pass runs at once by itself; an early wake-up would only repeat it.
  wake_.ResetEvent();
  return CThreadImpl::Start();
}

bool CTARNNetC2SUDPConnecter::CServerChecker::Stop() {
  RequestStop();
  stop_.Set();
  return CThreadImpl::Stop();
}

bool CTARNNetC2SUDPConnecter::CServerChecker::Due(const ServerInfo& server, uint32_t now) const {
  const uint32_t last = LoadField(server.lastCheckedTime);
  return last == 0 || now - last >= kRecheckAfter;
}

bool CTARNNetC2SUDPConnecter::CServerChecker::RunPass() {
  std::vector<ServerInfo*> entries;
  servers_.List().ForEach([&entries](ServerInfo& server) {
    entries.push_back(&server);
    return true;
  });
  for (ServerInfo* server : entries) {
    if (IsStopping()) return false;
    if (!Due(*server, CTickSource::Now())) continue;
    connecter_.SendStatusRequest(server->address, server->port);
    if (WaitForEvent(stop_, kRequestPause)) return false;
    connecter_.SendDescriptionRequest(server->address, server->port);
    if (WaitForEvent(stop_, kRequestPause)) return false;
  }
  if (!entries.empty()) servers_.SaveList();
  return true;
}

unsigned CTARNNetC2SUDPConnecter::CServerChecker::Run() {
  // Duration 0: the first pass runs at once.
  OSTREL::Process::CElapsedTimeT<0> passTimer;
  bool woken = false;
  while (!IsStopping()) {
    if (passTimer.IsElapsed() || woken || wake_.TryAcquire()) {
      if (!RunPass()) return 0;
      passTimer.SetDuration(kPassInterval);
      passTimer.Reset();
      // Counted only once the next interval runs: whoever sees the count and then moves the
      // clock must not have the move swallowed by a timer restarted after it.
      passes_.fetch_add(1);
    }
    // Newly merged servers are queried as soon as the wake-up comes, not at the next turn.
    // The wait ends when the interval does, so a clock that moved since the check above is
    // seen at once rather than a whole idle wait later.
    const uint32_t passed = CTickSource::Now() - passTimer.GetStart();
    const uint32_t left = passed >= passTimer.GetDuration() ? 0 : passTimer.GetDuration() - passed;
    const int signalled =
        OSTREL::Process::WaitForEvents({&stop_, &wake_}, std::min(kIdleWait, left));
    if (signalled == 0 || signalled == OSTREL::Process::kWaitFailed) return 0;
    woken = signalled == 1;
  }
  return 0;
}

}  // namespace P2P
