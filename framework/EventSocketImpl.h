// The complete event sockets a connecter class T derives from. CEventSocketImpl has its own
// thread that waits for the socket (server connecters, UDP sockets, the listener);
// CEventSocketT has none and is driven by a wait object of the multiplexer (peer
// connections). Timeout is the idle time-out in milliseconds (kNoTimeout: none), Traits the
// set of network events. T must call Close() in its own destructor, so that no handler runs
// on a half-destroyed object, and must not be destroyed by its own socket thread.
#pragma once

#include <cstdint>

#include "framework/EventSocket.h"
#include "framework/EventSocketThread.h"
#include "framework/SocketError.h"

namespace OSTREL::Network::Socket {

template <typename T, uint32_t Timeout, typename Traits>
class CEventSocketT : public CEventSocketBase {
 public:
  static constexpr uint32_t kIdleTimeout = Timeout;
  CEventSocketT() : CEventSocketBase(Traits::kEvents) {}
};

template <typename T, uint32_t Timeout, typename Traits>
class CEventSocketImpl : public CEventSocketBase {
 public:
  static constexpr uint32_t kIdleTimeout = Timeout;

  CEventSocketImpl() : CEventSocketBase(Traits::kEvents), thread_(*this, Timeout) {}
  ~CEventSocketImpl() override { Close(true); }

  // Not from the socket's own thread: that thread cannot hand itself over to a new one.
  bool Create(uint16_t port, int type, int protocol = 0, int family = AF_INET,
              std::string_view address = {}) override {
    if (!PrepareReuse()) return false;
    return CEventSocketBase::Create(port, type, protocol, family, address) && StartThread();
  }
  bool Attach(int acceptedFd) override {
    if (!PrepareReuse()) return false;
    return CEventSocketBase::Attach(acceptedFd) && StartThread();
  }

  // From the socket's own thread this only asks the thread to end and closes the socket;
  // from any other thread it also waits for the thread first, so no handler is running
  // when Close returns.
  void Close(bool hard) override {
    thread_.Stop();
    CEventSocketBase::Close(hard);
  }

  bool IsThreadRunning() const { return thread_.IsRunning(); }
  bool IsSocketThread() const { return thread_.IsCurrentThread(); }

 private:
  bool PrepareReuse() {
    if (thread_.IsCurrentThread()) {
      SetLastError(kWsaEInval);
      return false;
    }
    Close(true);
    return true;
  }
  bool StartThread() {
    if (thread_.Start()) return true;
    CEventSocketBase::Close(true);
    SetLastError(kWsaENoBufs);
    return false;
  }

  CEventSocketThread thread_;
};

}  // namespace OSTREL::Network::Socket
