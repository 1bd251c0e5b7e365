// The thread of a single event socket: waits with epoll on the socket and a stop event, hands
// each readiness to the socket's dispatcher, and ends on the stop event, on the first real
// error, or when the socket's idle time-out (on the tick source) passes without any event.
// Start and Stop are called by the owning socket; Stop from the thread itself only asks.
#pragma once

#include <cstdint>

#include "framework/Event.h"
#include "framework/Thread.h"

namespace OSTREL::Network::Socket {

class CEventSocketBase;

class CEventSocketThread : public Process::CThreadImpl<CEventSocketThread> {
 public:
  CEventSocketThread(CEventSocketBase& socket, uint32_t idleTimeout);
  ~CEventSocketThread() override;

  // Registers the socket with the thread's epoll set and starts the thread.
  bool Start() override;
  // Signals the stop event, then stops (joins unless called from the thread itself).
  bool Stop() override;
  unsigned Run() override;

 private:
  int WaitMilliseconds(uint32_t lastActivity) const;

  CEventSocketBase& socket_;
  const uint32_t idleTimeout_;
  int epoll_ = -1;
  Process::CEvent stopEvent_{Process::CEvent::Reset::kManual};
};

}  // namespace OSTREL::Network::Socket
