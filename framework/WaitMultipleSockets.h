// One wait object of the socket multiplexer: a thread waiting with epoll on up to 62 sockets
// plus its own stop and set-changed events (64 slots, the first two reserved). Each ready
// socket is handed to the owner by its key. Add/Remove may be called from any thread; the
// owner retires a wait object that has no sockets left.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "framework/CriticalSection.h"
#include "framework/Event.h"
#include "framework/Reference.h"
#include "framework/Thread.h"

namespace OSTREL::Network::Socket {

class CEventSocketBase;

// The side of the manager a wait object calls back.
class IWaitMultipleSocketsOwner {
 public:
  virtual ~IWaitMultipleSocketsOwner() = default;
  virtual bool IsStopping() const = 0;
  virtual void OnSocketReady(uint64_t key, uint32_t readiness) = 0;
};

class CWaitMultipleSockets : public Process::CThreadImpl<CWaitMultipleSockets>,
                             public CReferenceT<CWaitMultipleSockets> {
 public:
  static constexpr size_t kSlots = 64;
  static constexpr size_t kReserved = 2;  // the stop event and the set-changed event
  static constexpr size_t kMaxSockets = kSlots - kReserved;

  explicit CWaitMultipleSockets(IWaitMultipleSocketsOwner& owner);
  ~CWaitMultipleSockets() override;

  bool Start() override;
  bool Stop() override;
  unsigned Run() override;
  // Asks the thread to end without waiting for it (safe under the manager's lock).
  void RequestEnd();

  // Refused when stopping or full.
  bool Add(uint64_t key, CEventSocketBase& socket);
  // True when the key was held; the socket leaves the epoll set.
  bool Remove(uint64_t key, CEventSocketBase& socket);
  bool Holds(uint64_t key) const;
  size_t SocketCount() const { return count_.load(std::memory_order_acquire) - kReserved; }
  bool IsFull() const { return count_.load(std::memory_order_acquire) >= kSlots; }

 private:
  IWaitMultipleSocketsOwner& owner_;
  int epoll_ = -1;
  Process::CEvent stopEvent_{Process::CEvent::Reset::kManual};
  Process::CEvent changedEvent_{Process::CEvent::Reset::kAuto};
  mutable Process::CCriticalSection slotsLock_;
  std::array<uint64_t, kSlots> keys_ GUARDED_BY(slotsLock_){};
  std::atomic<size_t> count_{kReserved};
};

}  // namespace OSTREL::Network::Socket
