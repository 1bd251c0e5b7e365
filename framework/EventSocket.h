// The event-driven socket: turns the readiness reported by an epoll waiter into Winsock-style
// network events (connect, accept, read, write, close) and calls the virtual handler of each
// in a fixed order. A connecter derives from it (through CEventSocketImpl for a socket with
// its own thread, or CManagedObjectT for one driven by the multiplexer) and overrides the
// handlers. Handlers run on the waiting thread, one at a time; Send, Flush, Close and the
// queries may be called from any thread.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "framework/CriticalSection.h"
#include "framework/NetworkEvents.h"
#include "framework/Socket.h"
#include "framework/SocketBuffer.h"

namespace OSTREL::Network::Socket {

class CEventSocketBase {
 public:
  explicit CEventSocketBase(uint32_t eventMask);
  virtual ~CEventSocketBase();
  CEventSocketBase(const CEventSocketBase&) = delete;
  CEventSocketBase& operator=(const CEventSocketBase&) = delete;

  // Closes any previous socket (hard), then creates and binds a new one: (port, SOCK_STREAM)
  // for TCP, (port, SOCK_DGRAM, IPPROTO_UDP) for UDP; port 0 takes any free port.
  virtual bool Create(uint16_t port, int type, int protocol = 0, int family = AF_INET,
                      std::string_view address = {});
  // Adopts a connected descriptor taken by a listener's Accept.
  virtual bool Attach(int acceptedFd);
  virtual void Close(bool hard);

  bool Listen(int backlog = SOMAXCONN);
  // True when connected or under way; the outcome arrives as OnConnect or OnError.
  bool Connect(uint32_t ipNetworkOrder, uint16_t port);
  bool Connect(std::string_view host, uint16_t port);
  bool Accept(int& acceptedFd, sockaddr_in* from = nullptr);

  // Queues `bytes` and flushes. What the network does not take now stays queued and goes out
  // when the socket becomes writable again. False only on a real error.
  bool Send(std::span<const uint8_t> bytes);
  bool Flush();
  size_t QueuedSendBytes() const;

  // One datagram, unbuffered.
  bool SendTo(std::span<const uint8_t> datagram, const sockaddr_in& to);
  bool SendTo(std::span<const uint8_t> datagram, uint32_t ipNetworkOrder, uint16_t port);
  bool ReceiveFrom(std::span<uint8_t> buffer, size_t& received, sockaddr_in& from);

  // One receive into the receive buffer's free tail. False with a real LastError() on failure
  // (kWsaENoBufs when the buffer is at its limit), false with kWsaEWouldBlock when nothing came.
  bool ReceiveIntoBuffer();
  CReceiveBuffer& ReceiveBuffer() { return receive_; }

  // Stops or resumes taking received bytes: meanwhile the kernel holds what comes and TCP
  // slows the sender, as a receive rate limit wants. The close of a paused stream is seen once
  // it resumes.
  void PauseReceiving(bool paused);

  bool IsOpen() const;
  int Handle() const;
  int LastError() const { return lastError_.load(std::memory_order_acquire); }
  uint16_t GetLocalPort() const;

  // Waiter side: registers with an epoll set under `key`; the socket keeps its registration
  // up to date (write interest only while queued bytes wait) and leaves the set on Close.
  bool AttachWaiter(int epollFd, uint64_t key);
  void DetachWaiter();
  // Called by the waiter with the epoll readiness; returns the first real error or 0.
  int OnNetworkEvent(uint32_t readiness);
  // Handles a set of network events in the fixed order, stopping at the first real error.
  int DispatchNetworkEvents(const CNetworkEvents& events);
  // No event within the idle time-out: reported as OnError(kWsaETimedOut).
  void OnIdleTimeout();

 protected:
  // Handlers. The dispatcher calls OnError instead when the event carries a real error, so
  // these see error 0.
  virtual void OnReceive(int error);  // default: ReceiveIntoBuffer, then OnReceiveData
  virtual void OnSend(int error);     // default: Flush
  virtual void OnConnect(int /*error*/) {}
  virtual void OnClose(int /*error*/) {}
  virtual void OnAccept(int /*error*/) {}
  virtual void OnError(int /*error*/) {}
  // The parser's entry: gets every byte received and not yet consumed, returns how many it
  // consumed (whole packets); the rest waits for more bytes.
  virtual size_t OnReceiveData(std::span<const uint8_t> pending) { return pending.size(); }

  void SetLastError(int error) { lastError_.store(error, std::memory_order_release); }
  Process::CCriticalSection& SocketLock() const RETURN_CAPABILITY(socketLock_) {
    return socketLock_;
  }

 private:
  enum class State { kClosed, kBound, kListening, kConnecting, kConnected, kDatagram };

  void CallHandler(uint32_t bit, int error);
  CNetworkEvents CollectNetworkEvents(uint32_t readiness) REQUIRES(socketLock_);
  uint32_t WantedReadiness() const REQUIRES(socketLock_);
  void SyncRegistration() REQUIRES(socketLock_);
  void DetachWaiterLocked() REQUIRES(socketLock_);
  bool FlushLocked() REQUIRES(socketLock_);
  bool Failed();

  mutable Process::CCriticalSection socketLock_;
  const uint32_t eventMask_;
  CSocketT<1> socket_;
  State state_ GUARDED_BY(socketLock_) = State::kClosed;
  bool wantWrite_ GUARDED_BY(socketLock_) = false;
  bool receivePaused_ GUARDED_BY(socketLock_) = false;
  CSendBuffer send_ GUARDED_BY(socketLock_);
  CReceiveBuffer receive_;     // touched by the handlers' thread only
  // Set by Create/Attach; the handlers' thread clears it.
  bool receiveStale_ GUARDED_BY(socketLock_) = false;
  std::atomic<int> lastError_{0};

  int waiterEpoll_ GUARDED_BY(socketLock_) = -1;
  uint64_t waiterKey_ GUARDED_BY(socketLock_) = 0;
  uint32_t registered_ GUARDED_BY(socketLock_) = 0;  // readiness asked for; 0 when not in the set
  bool inWaiter_ GUARDED_BY(socketLock_) = false;
};

}  // namespace OSTREL::Network::Socket
